#!/usr/bin/env bash
# Runs the built program on the current X display as a user would: started from bin/, ended with
# Esc, Q or the close button, or failing for want of shaders or a display. Checks the exit code
# and both streams. Usage: end_to_end.sh PROGRAM CLOSE_WINDOW
set -u
program=$(realpath "$1")
close_window=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
healthy=$'OpenGL Version: [^\n]+\nHaving a core-profile\nDoing illegal operation \\(glTranslate\\) now\\.\\.\\.\nIllegal operation caused an error message\\. :\\)'
passed=0 failed=0

# Runs the program from folder $1 (with the environment changes after it) in the background.
start() {
    (cd "$1" && shift && exec env "$@" "$program") >"$work/out" 2>"$work/err" &
    pid=$!
}

# Quits the way $1 says once the frame loop runs; "none" waits for the program to end by itself.
quit() {
    if [[ $1 != none ]]; then
        window=$(timeout 20 xdotool search --sync --name '^Realtime Rendering - OpenGL 3\.2 core')
        sleep 1
        xdotool windowfocus --sync "$window"
    fi
    case $1 in
    hold-escape) xdotool keydown Escape ;;
    # Pressed and released while the program is stopped: it must still see the key.
    tap-q) kill -STOP "$pid" && xdotool key q && sleep 0.2 && kill -CONT "$pid" ;;
    close-button) "$close_window" "$window" ;;
    esac
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
    wait "$pid"
    rc=$?
    xdotool keyup Escape
}

# Checks the exit code, and standard output and error against patterns.
expect() {
    local out err
    out=$(cat "$work/out") err=$(cat "$work/err")
    if [[ $rc == "$2" && $out =~ ^${3}$ && $err =~ ^${4}$ ]]; then
        passed=$((passed + 1)) && echo "ok   $1"
    else
        failed=$((failed + 1))
        printf 'FAIL %s: exit %s\n--- stdout\n%s\n--- stderr\n%s\n' "$1" "$rc" "$out" "$err"
    fi
}

for way in hold-escape tap-q close-button; do
    start "$(dirname "$program")" && quit "$way"
    expect "$way ends the run" 0 "$healthy" ""
done

mkdir -p "$work/missing/bin" "$work/fifo/bin" "$work/fifo/Tarvelin/Shaders"
mkfifo "$work/fifo/Tarvelin/Shaders/shadername.vert"
for tree in missing fifo; do
    start "$work/$tree/bin" && quit none
    expect "shader files: $tree" 1 "$healthy" $'Vertex shader file \\.\\./Tarvelin/Shaders/shadername\\.vert does not exist\\.\nCould not compile minimal shader program\\.'
done

start "$work" -u DISPLAY && quit none
expect "no display" 1 "" $'[^\n]+\nFailed to initialize OpenGL window\\.'

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
