#!/usr/bin/env bash
# Runs the program from bin/ under Valgrind's memcheck for a few frames, ends it with Esc, and
# fails on any error (invalid access, uninitialised value, leak) with a frame in the program's
# own code. Errors wholly inside the system's libraries are listed but not held against it.
# Usage: memcheck.sh PROGRAM
set -u
program=$(realpath "$1")
report=$(mktemp)
trap 'rm -f "$report"' EXIT

(cd "$(dirname "$0")/../bin" && LP_NUM_THREADS=0 exec valgrind --leak-check=full --track-origins=yes \
    --xml=yes --xml-file="$report" "$program") >/dev/null &
pid=$!
window=$(timeout 120 xdotool search --sync --name '^Realtime Rendering - OpenGL 3\.2 core')
sleep 2
xdotool windowfocus --sync "$window" key Escape
wait "$pid" || { echo "the program failed under memcheck" && exit 1; }

# Counts the errors by kind and by whether a frame of their stack is in the program.
awk -v program="$program" '
    /<error>/ { kind = ""; own = 0 }
    /<kind>/ { gsub(/ *<\/?kind>/, ""); kind = $0 }
    /<obj>/ { gsub(/ *<\/?obj>/, ""); if ($0 == program) own = 1 }
    /<\/error>/ { count[kind (own ? " in the program" : " in system libraries only")]++; owned += own }
    END { for (k in count) print count[k], k; print owned + 0, "errors in the program"; exit owned > 0 }' \
    "$report"
