#!/usr/bin/env bash
# Runs the built program on the current X display as a user would, once per case: each case
# lays out its own shader files next to a bin/ folder, starts the program from there, quits the
# way a user would (or lets it end by itself), and checks the exit code and both streams.
# The leak checker is preloaded into every run: a GL object, an open file or a missing
# glfwTerminate shows up as a line on standard error.
# Usage: end_to_end.sh PROGRAM CLOSE_WINDOW LEAK_CHECK
set -u
program=$(realpath "$1")
close_window=$(realpath "$2")
leak_check=$(realpath "$3")
shaders=$(realpath "$(dirname "$0")/../Tarvelin/Shaders")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0 case_number=0

# Root reads every file, so as root the cases run as user nobody, with copies of the program,
# the leak checker, the display's key and any leak suppressions in a folder that user can read.
as_user=()
if [[ $(id -u) == 0 ]]; then
    chmod 755 "$work"
    cp "$program" "$leak_check" "$work/" && program=$work/${program##*/} leak_check=$work/${leak_check##*/}
    cp "${XAUTHORITY:-$HOME/.Xauthority}" "$work/Xauthority" 2>/dev/null && chmod 644 "$work/Xauthority"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups env XAUTHORITY="$work/Xauthority")
    if [[ ${LSAN_OPTIONS:-} =~ suppressions=([^:]+) ]]; then
        cp "${BASH_REMATCH[1]}" "$work/lsan.supp"
        LSAN_OPTIONS=${LSAN_OPTIONS/${BASH_REMATCH[1]}/$work/lsan.supp}
    fi
fi

healthy=$'OpenGL Version: [^\n]+\nHaving a core-profile\nDoing illegal operation \\(glTranslate\\) now\\.\\.\\.\nIllegal operation caused an error message\\. :\\)'
build_failed=$'\n(Shader compilation failed\\.\n.*)?Shader linking failed\\.\n.+'
not_built=$'Could not compile minimal shader program\\.'
no_window=$'[^\n]+\nFailed to initialize OpenGL window\\.'
every_frame=$'(GL: Operation illegal in current state\\.\n)+GL: Operation illegal in current state\\.'
not_found() { echo "$1 shader file \\.\\./Tarvelin/Shaders/shadername\\.$2 does not exist\\."$'\n'"$not_built"; }

# Writes shader file $2 as kind $1: a broken, odd or altered copy of the program's own.
make_shader() {
    local good=$shaders/${2##*/}
    case $1 in
    good) cp "$good" "$2" ;;
    missing) ;;
    unreadable) cp "$good" "$2" && chmod 000 "$2" ;;
    folder) mkdir "$2" ;;
    fifo) mkfifo "$2" ;;
    empty) : >"$2" ;;
    nul) sed '3s/^/\x0/' "$good" >"$2" ;;
    binary) head -c 4096 /dev/urandom >"$2" ;;
    crlf) sed 's/$/\r/' "$good" >"$2" ;;
    large) { cat "$good" && yes '// a comment line that pads this file out to several megabytes' |
        head -n 120000; } >"$2" ;;
    syntax) sed 's/void main()/void main(/' "$good" >"$2" ;;
    mismatch) sed 's/out vec3 pass_color/out vec2 pass_color/; s/= in_color/= in_color.xy/' "$good" >"$2" ;;
    no-color) sed 's/= in_color/= vec3(1.0)/' "$good" >"$2" ;;
    no-matrix) sed 's/rotation_matrix \* //' "$good" >"$2" ;;
    mat3) sed 's/mat4/mat3/; s/rotation_matrix \* in_position/vec4(rotation_matrix * in_position.xyz, 1.0)/' "$good" >"$2" ;;
    esac
}

# Waits up to 30 s for the program to end, then sets rc.
finish() {
    for _ in $(seq 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
    wait "$pid"
    rc=$?
}

# Quits the way $1 says once the frame loop runs.
quit() {
    local window
    window=$(timeout 20 xdotool search --sync --name '^Realtime Rendering - OpenGL 3\.2 core')
    sleep 1
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

# One case: NAME VERTEX FRAGMENT ENVIRONMENT QUIT EXIT-CODE STDOUT STDERR (the last two patterns).
check() {
    local dir=$work/$((++case_number)) out err
    mkdir -p "$dir/bin" "$dir/Tarvelin/Shaders"
    make_shader "$2" "$dir/Tarvelin/Shaders/shadername.vert"
    make_shader "$3" "$dir/Tarvelin/Shaders/shadername.frag"
    # shellcheck disable=SC2086 # the environment changes are separate words
    (cd "$dir/bin" && exec "${as_user[@]}" env $4 LD_PRELOAD="$leak_check${LD_PRELOAD:+:$LD_PRELOAD}" "$program") \
        >"$dir/out" 2>"$dir/err" &
    pid=$!
    if [[ $5 == none ]]; then finish; else quit "$5"; fi
    out=$(cat "$dir/out") err=$(cat "$dir/err")
    if [[ $rc == "$6" && $out =~ ^${7}$ && $err =~ ^${8}$ ]]; then
        passed=$((passed + 1)) && echo "ok   $1"
    else
        failed=$((failed + 1))
        printf 'FAIL %s: exit %s\n--- stdout\n%s\n--- stderr\n%s\n' "$1" "$rc" "$out" "$err"
    fi
}

check "Esc held ends the run" good good "" hold-escape 0 "$healthy" ""
check "Q tapped ends the run" good good "" tap-q 0 "$healthy" ""
check "close button ends the run" good good "" close-button 0 "$healthy" ""
check "softpipe driver" good good GALLIUM_DRIVER=softpipe hold-escape 0 "$healthy" ""
check "CRLF line ends" crlf crlf "" hold-escape 0 "$healthy" ""
check "large shader file" large good "" hold-escape 0 "$healthy" ""
check "rotation_matrix unused" no-matrix good "" hold-escape 0 "$healthy" ""
check "in_color inactive" no-color good "" hold-escape 0 "$healthy" "GL: Numeric argument out of range\\."
check "GL error every frame" mat3 good "" hold-escape 0 "$healthy" "$every_frame"

check "vertex shader missing" missing good "" none 1 "$healthy" "$(not_found Vertex vert)"
check "both shaders missing" missing missing "" none 1 "$healthy" "$(not_found Vertex vert)"
check "fragment shader missing" good missing "" none 1 "$healthy" "$(not_found Fragment frag)"
check "vertex shader unreadable" unreadable good "" none 1 "$healthy" "$(not_found Vertex vert)"
check "vertex shader a named pipe" fifo good "" none 1 "$healthy" "$(not_found Vertex vert)"
check "fragment shader a folder" good folder "" none 1 "$healthy" "$(not_found Fragment frag)"
check "empty vertex shader" empty good "" none 1 "$healthy$build_failed" "$not_built"
check "NUL byte in vertex shader" nul good "" none 1 "$healthy$build_failed" "$not_built"
check "binary vertex shader" binary good "" none 1 "$healthy$build_failed" "$not_built"
check "vertex syntax error" syntax good "" none 1 "$healthy$build_failed" "$not_built"
check "fragment syntax error" good syntax "" none 1 "$healthy$build_failed" "$not_built"
check "stages that do not match" mismatch good "" none 1 "$healthy$build_failed" "$not_built"

check "no 3.2 core context" good good MESA_GL_VERSION_OVERRIDE=3.1 none 1 "" "$no_window"
check "no display" good good "-u DISPLAY" none 1 "" "$no_window"

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
