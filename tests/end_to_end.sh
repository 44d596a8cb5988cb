#!/usr/bin/env bash
# Runs the built program on the current X display as a user would: started from bin/, ended with
# Esc, Q or the close button, or failing for want of shaders or a display. Checks the console
# lines on each stream and the exit code. Usage: end_to_end.sh PROGRAM CLOSE_WINDOW
set -u
program=$(realpath "$1")
close_window=$(realpath "$2")
bin_dir=$(dirname "$program")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
title='^Realtime Rendering - OpenGL 3.2 core profile \(GLFW\)$'
healthy=$'OpenGL Version: [^\n]+\nHaving a core-profile\nDoing illegal operation \\(glTranslate\\) now\\.\\.\\.\nIllegal operation caused an error message\\. :\\)'
passed=0
failed=0

# Starts the program in the background from folder $1, with the environment changes that follow.
start() {
    (cd "$1" && shift && exec env "$@" "$program") >"$work/out" 2>"$work/err" &
    pid=$!
}

# Waits up to 20 s for the program to end; sets rc (124 when it had to be killed).
finish() {
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
    wait "$pid"
    rc=$?
}

# Starts from bin/, waits for the frame loop, then quits the way $1 says.
run_and_quit() {
    start "$bin_dir"
    window=$(timeout 20 xdotool search --sync --name "$title" | head -n 1)
    sleep 1 # past the shader build and set-up, into the frame loop
    xdotool windowfocus --sync "$window"
    case $1 in
    hold-escape) xdotool keydown Escape ;;
    # Pressed and released while the program is stopped: it must still see the key.
    tap-q) kill -STOP "$pid" && xdotool key q && sleep 0.2 && kill -CONT "$pid" ;;
    close-button) "$close_window" "$window" ;;
    esac
    finish
    xdotool keyup Escape
}

# Compares rc, standard output (a pattern) and standard error (a pattern) with the expected ones.
expect() {
    local name=$1 want_rc=$2 want_out=$3 want_err=$4
    local out err
    out=$(cat "$work/out")
    err=$(cat "$work/err")
    if [[ $rc == "$want_rc" && $out =~ ^${want_out}$ && $err =~ ^${want_err}$ ]]; then
        passed=$((passed + 1))
        echo "ok   $name"
    else
        failed=$((failed + 1))
        printf 'FAIL %s: exit %s (want %s)\n--- stdout\n%s\n--- stderr\n%s\n' \
            "$name" "$rc" "$want_rc" "$out" "$err"
    fi
}

for way in hold-escape tap-q close-button; do
    run_and_quit "$way"
    expect "$way ends the run" 0 "$healthy" ""
done

no_shaders=$'Vertex shader file \\.\\./Tarvelin/Shaders/shadername\\.vert does not exist\\.\nCould not compile minimal shader program\\.'
mkdir -p "$work/empty/bin" "$work/fifo/bin" "$work/fifo/Tarvelin/Shaders"
mkfifo "$work/fifo/Tarvelin/Shaders/shadername.vert"
for tree in empty fifo; do
    start "$work/$tree/bin"
    finish
    expect "shader files: $tree" 1 "$healthy" "$no_shaders"
done

start "$bin_dir" -u DISPLAY
finish
expect "no display" 1 "" $'[^\n]+\nFailed to initialize OpenGL window\\.'

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
