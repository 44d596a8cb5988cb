#!/usr/bin/env bash
# Runs the built program as a user would, on a real desktop, one case of end_to_end.txt at a time.
#   end_to_end.sh DESKTOP start | stop    brings the desktop up or down (a CTest fixture)
#   end_to_end.sh DESKTOP CASE-NAME       runs one case on it
# Desktops: x11 (a bare X server), i3 (which tiles the window to fill the screen), wayland
# (headless sway, with the program on GLFW's Wayland build), wine (the Windows build on X).
# Each case lays out its own shader files next to a bin/ folder, starts the program from there,
# ends the run the way the case says and checks the exit code and both streams. The leak checker
# is preloaded (but under Wine): a GL object, an open file or a missing glfwTerminate shows up as
# a line on standard error. As root, the program and sway run as user nobody, which sway needs
# and which makes unreadable files unreadable.
# Environment: E2E_PROGRAM, E2E_LEAK_CHECK, E2E_CLOSE_WINDOW, E2E_GLFW_WAYLAND (the folder with
# GLFW's Wayland library) and E2E_STATE (a file naming the running desktop's folder).
set -u
desktop=$1
here=$(dirname "$(realpath "$0")")
title='Realtime Rendering - OpenGL 3.2 core profile (GLFW)'
user=$(id -un) as_user=()
[[ $user == root ]] && user=nobody as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

start() {
    state=$(mktemp -d /tmp/tarvelin-e2e.XXXXXX) && chmod 755 "$state" && echo "$state" >"$E2E_STATE"
    cp "$E2E_PROGRAM" "$E2E_LEAK_CHECK" "$E2E_CLOSE_WINDOW" "$state/"
    if [[ $desktop == wayland ]]; then
        cp -r "$E2E_GLFW_WAYLAND" "$state/glfw" && mkdir -m 700 "$state/run" && chown "$user" "$state/run"
        echo "export XDG_RUNTIME_DIR=$state/run WAYLAND_DISPLAY=wayland-1" >"$state/env"
        (source "$state/env" && WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
            exec setsid "${as_user[@]}" sway -c "$here/sway.config") </dev/null >"$state/desktop.log" 2>&1 &
        echo $! >"$state/pids"
        for _ in $(seq 100); do
            ls "$state"/run/sway-ipc.* >/dev/null 2>&1 && break
            sleep 0.1
        done
        echo "export SWAYSOCK=$(ls "$state"/run/sway-ipc.*)" >>"$state/env"
        return
    fi
    # -noreset: otherwise the server resets whenever its last client leaves, and refuses a
    # client that connects at that moment.
    local size=1024x1024
    [[ $desktop == i3 ]] && size=1280x1024
    setsid Xvfb -displayfd 1 -screen 0 "${size}x24" -noreset -nolisten tcp </dev/null >"$state/display" 2>/dev/null &
    echo $! >"$state/pids"
    for _ in $(seq 100); do
        [[ -s $state/display ]] && break
        sleep 0.1
    done
    echo "export DISPLAY=:$(cat "$state/display")" >"$state/env"
    source "$state/env"
    if [[ $desktop == i3 ]]; then
        setsid i3 -c "$here/i3.config" </dev/null >"$state/desktop.log" 2>&1 &
        echo $! >>"$state/pids"
        timeout 20 bash -c 'until i3-msg -q nop 2>/dev/null; do sleep 0.1; done'
    elif [[ $desktop == wine ]]; then # a prefix of the user's own, made once
        mkdir "$state/home" && chown "$user" "$state/home" && (export HOME=$state/home WINEDEBUG=-all &&
            "${as_user[@]}" wineboot --init && "${as_user[@]}" wineserver --wait) >/dev/null 2>&1
    fi
}

stop() {
    state=$(cat "$E2E_STATE")
    [[ $desktop == wine ]] && HOME=$state/home "${as_user[@]}" wineserver --kill
    # shellcheck disable=SC2046 # one word per process
    kill $(cat "$state/pids") 2>/dev/null
    rm -rf "$state" "$E2E_STATE"
}

# Writes shader file $2 as kind $1: a broken, odd or altered copy of the program's own.
make_shader() {
    local good=$here/../Tarvelin/Shaders/${2##*/}
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

# What the streams must match, by the names used in end_to_end.txt.
declare -A pattern=(
    [-]=''
    [healthy]=$'OpenGL Version: [^\n]+\nHaving a core-profile\nDoing illegal operation \\(glTranslate\\) now\\.\\.\\.\nIllegal operation caused an error message\\. :\\)'
    [not-built]='Could not compile minimal shader program\.'
    [no-window]=$'[^\n]+\nFailed to initialize OpenGL window\\.'
    [out-of-range]='GL: Numeric argument out of range\.'
    [every-frame]=$'(GL: Operation illegal in current state\\.\n)+GL: Operation illegal in current state\\.'
)
pattern[build-failed]=${pattern[healthy]}$'\n(Shader compilation failed\\.\n.*)?Shader linking failed\\.\n.+'
pattern[no-vertex]=$'Vertex shader file \\.\\./Tarvelin/Shaders/shadername\\.vert does not exist\\.\n'${pattern[not-built]}
pattern[no-fragment]=$'Fragment shader file \\.\\./Tarvelin/Shaders/shadername\\.frag does not exist\\.\n'${pattern[not-built]}

# Sets `window` to the program's window, found by its exact title, within 20 s.
find_window() {
    window=
    for _ in $(seq 200); do
        if [[ $desktop == wayland ]]; then
            window=$(swaymsg -t get_tree | jq -r --arg t "$title" '.. | objects | select(.name? == $t) | .id')
        else
            window=$(xdotool search --name '^Realtime Rendering - OpenGL 3\.2 core profile \(GLFW\)$')
        fi
        [[ -n $window ]] && return
        sleep 0.1
    done
    echo "no window titled '$title'" >"$dir/failure" && return 1
}

press() { # press KEY [hold]: a key held down, or typed once
    if [[ $desktop == wayland ]]; then
        if [[ $# == 2 ]]; then wtype -P "$1" -s 60000 & else wtype -k "$1"; fi
    else
        xdotool windowfocus --sync "$window" "key${2:+down}" "$1"
    fi
}

close_request() {
    case $desktop in
    i3) i3-msg -q "[id=$window] kill" ;;
    wayland) swaymsg -q "[con_id=$window] kill" ;;
    *) "$state/${E2E_CLOSE_WINDOW##*/}" "$window" ;; # what a window manager sends
    esac
}

# Saves the program's window as a picture in $1.
screenshot() {
    if [[ $desktop == wayland ]]; then
        grim -g "$(swaymsg -t get_tree | jq -r --arg t "$title" \
            '.. | objects | select(.name? == $t) | .rect | "\(.x),\(.y) \(.width)x\(.height)"')" "$1"
    else
        import -window "$window" "$1"
    fi
}

# The triangle must fill the largest centred square of the window: its centre (c) is the grey
# third of each colour, sRGB-encoded; points at 0.4 of the square's half side around it (i) lie
# inside the triangle at any angle; points just beyond the circle of its corners (o) are black.
triangle_fills() {
    local width height reading
    read -r width height < <(identify -format '%w %h\n' "$1")
    reading=$(convert "$1" -format "$(awk -v w="$width" -v h="$height" 'BEGIN {
        r = (w < h ? w : h) / 2; print "c", int(w / 2), int(h / 2)
        for (a = 0; a < 6.28; a += 0.785) for (f = 0.4; f < 1.2; f += 0.68) {
            x = int(w / 2 + f * r * cos(a)); y = int(h / 2 + f * r * sin(a))
            if (x >= 0 && x < w && y >= 0 && y < h) print (f < 1 ? "i" : "o"), x, y } }' |
        awk '{ printf "%s", $1; for (c = 1; c <= 3; c++) printf " %%[fx:int(255*p{%d,%d}.%s)]", $2, $3, substr("rgb", c, 1)
               print "\\n" }')" info:)
    awk '{ sum = $2 + $3 + $4 }
         $1 == "c" && !($2 > 145 && $2 < 167 && ($2 - $3) ^ 2 + ($3 - $4) ^ 2 < 10) { bad = 1 }
         $1 == "i" && sum < 120 || $1 == "o" && sum > 30 { bad = 1 }
         END { exit bad }' <<<"$reading" && return
    echo "picture of ${width}x$height not as expected (kind, red, green, blue):" $reading
    return 1
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

# Ends the run the way $1 says, once the window is there.
end_run() {
    [[ $1 == none ]] && finish && return
    find_window || { kill -9 "$pid" && finish && return; }
    case $1 in
    hold-escape) press Escape hold ;;
    # Typed while the program is stopped: it must still see the key, in the next frame.
    tap-q) kill -STOP "$pid" && press q && kill -CONT "$pid" ;;
    close | close-no-keyboard) close_request ;;
    errors-then-escape) # after two frames' errors
        timeout 20 bash -c 'until (($(grep -c . "$0") >= 2)); do sleep 0.1; done' "$dir/err"
        press Escape hold ;;
    picture)
        for _ in $(seq 20); do # until the window has its size and a frame in it
            screenshot "$dir/picture.png" && triangle_fills "$dir/picture.png" >"$dir/failure" && break
            sleep 0.5
        done
        press Escape hold ;;
    esac
    finish
}

run_case() {
    local name desktops vert frag env ending code out_name err_name out err
    IFS=$'\t' read -r name desktops vert frag env ending code out_name err_name < <(awk -F' *[|] *' -v n="$1" \
        '$1 == n { sub(/ +$/, "", $9); OFS = "\t"; $1 = $1; print }' "$here/end_to_end.txt")
    [[ -n ${code:-} ]] || { echo "no case named '$1'" && return 1; }
    [[ $env == - ]] && env=
    dir=$(mktemp -d "$state/case.XXXXXX") && chmod 755 "$dir"
    mkdir -p "$dir/bin" "$dir/Tarvelin/Shaders"
    make_shader "$vert" "$dir/Tarvelin/Shaders/shadername.vert"
    make_shader "$frag" "$dir/Tarvelin/Shaders/shadername.frag"

    local launch=(env HOME="$state" LD_PRELOAD="$state/${E2E_LEAK_CHECK##*/}${LD_PRELOAD:+:$LD_PRELOAD}") wine=()
    case $desktop in
    wayland) launch=(env -u DISPLAY "${launch[@]:1}" LD_LIBRARY_PATH="$state/glfw") ;;
    wine) launch=(env HOME="$state/home" WINEDEBUG=-all) wine=(wine) ;;
    esac
    source "$state/env"
    # A keyboard on the seat for the whole run (the seat has one only while a wtype runs).
    if [[ $desktop == wayland && $ending != close-no-keyboard ]]; then
        wtype -s 600000 -k Shift_L &
    fi
    # shellcheck disable=SC2086 # the case's environment changes are separate words
    (cd "$dir/bin" && exec "${as_user[@]}" "${launch[@]}" env $env "${wine[@]}" "$state/${E2E_PROGRAM##*/}") \
        >"$dir/out" 2>"$dir/err" &
    pid=$!
    end_run "$ending"
    # shellcheck disable=SC2046 # the keys held, the keyboard kept on the seat
    kill $(jobs -p) 2>/dev/null
    [[ $desktop == wayland ]] || xdotool keyup Escape
    out=$(cat "$dir/out") err=$(cat "$dir/err")
    if [[ $desktop == wine ]]; then # Windows ends its lines with CR LF
        out=${out//$'\r'/} err=${err//$'\r'/}
    fi
    cat "$dir/failure" 2>/dev/null && [[ -s $dir/failure ]] && return 1
    [[ $rc == "$code" && $out =~ ^${pattern[$out_name]}$ && $err =~ ^${pattern[$err_name]}$ ]] && return
    printf 'exit %s, expected %s\n--- stdout\n%s\n--- stderr\n%s\n' "$rc" "$code" "$out" "$err"
    return 1
}

case $2 in
start) start ;;
stop) stop ;;
*) state=$(cat "$E2E_STATE") && run_case "$2" ;;
esac
