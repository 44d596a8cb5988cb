#!/usr/bin/env bash
# Starts the built program from bin/ on the current (virtual) X display, lets it turn for a few
# seconds, saves a picture of its window to build/screenshot.png and ends it with Esc. Prints what
# the program printed, the renderer that drew, and the program's exit code.
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
(cd bin && exec ./tarvelin) >"$out" 2>"$err" &
pid=$!

title='^Realtime Rendering - OpenGL 3.2 core profile \(GLFW\)$'
if window=$(timeout 20 xdotool search --sync --name "$title" | head -n 1) && [[ -n $window ]]; then
    sleep 3
    import -window "$window" build/screenshot.png
    echo "Screenshot: $PWD/build/screenshot.png"
    xdotool windowfocus --sync "$window" key Escape
fi
status=0
wait "$pid" || status=$?

echo "--- standard output"
cat "$out"
echo "--- standard error"
cat "$err"
echo "--- exit code: $status"
bin/tarvelin-renderer 2>/dev/null || true
echo "That is Mesa's software renderer on a virtual display, not this machine's GPU. To check the"
echo "GPU, run bash scripts/run.sh in a desktop session."
exit "$status"
