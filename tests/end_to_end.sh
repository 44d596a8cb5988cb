#!/usr/bin/env bash
# Runs the program as a user would: `end_to_end.sh DESKTOP start|stop` brings a desktop up or down
# (a CTest fixture), `end_to_end.sh DESKTOP CASE` runs a case of end_to_end.txt on it: x11 (bare X
# on a 1280 x 1024 screen), i3 (tiling the window to fill it), wayland (headless sway) or wine (the
# Windows build, on i3). preload.cpp is preloaded but under Wine. As root, the program and sway run
# as nobody (sway refuses root; unreadable files are then unreadable), on copies of what they read.
# Set by CMake: E2E_PROGRAM, E2E_PRELOAD, E2E_STATE (names a folder).
set -u
desktop=$1 here=$(dirname "$(realpath "$0")") patience=20
title='^Realtime Rendering - OpenGL 3\.2 core profile \(GLFW\)$' # the whole title, exactly
user=$(id -un) as_user=()
[[ $user == root ]] && user=nobody as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

wait_for() { # runs "$@" every 0.1 s until it succeeds, for up to $patience seconds
    local until=$((SECONDS + patience))
    until "$@"; do ((SECONDS < until)) && sleep 0.1 || return; done
}

start() {
    state=$(mktemp -d /tmp/tarvelin-e2e.XXXXXX) && chmod 755 "$state" && echo "$state" >"$E2E_STATE"
    cp -r "$E2E_PROGRAM" "$E2E_PRELOAD" "$here/sway.config" "$here/lsan.supp" "$state/"
    # GLFW 3.3 is for X11 or Wayland: its Wayland build is copied in too, and used on Wayland.
    local glfw_wayland && glfw_wayland=$("$here/../scripts/glfw-wayland.sh") || return
    [[ -z $glfw_wayland ]] || cp -r "$glfw_wayland" "$state/glfw-wayland"
    mkdir -m 700 "$state/home" && chown "$user" "$state/home"
    if [[ $desktop == wayland ]]; then
        echo "export XDG_RUNTIME_DIR=$state/home WAYLAND_DISPLAY=wayland-1 SWAYSOCK=$state/home/sway" >"$state/env"
        source "$state/env"
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 setsid "${as_user[@]}" \
            sway -c "$state/sway.config" </dev/null &>"$state/desktop.log" &
        echo $! >"$state/pids"
        wait_for swaymsg -q -t get_version 2>/dev/null
        return
    fi
    # -noreset: else the server resets when its last client leaves, refusing any that connects then.
    setsid Xvfb -displayfd 1 -screen 0 1280x1024x24 -noreset -nolisten tcp </dev/null >"$state/display" 2>/dev/null &
    echo $! >"$state/pids"
    # Run from a Wayland session, GLFW 3.4 would open the window there: it is told of X alone.
    wait_for test -s "$state/display" && echo "export DISPLAY=:$(cat "$state/display"); unset WAYLAND_DISPLAY" >"$state/env" && source "$state/env"
    [[ $desktop == x11 ]] && return
    setsid i3 -c "$here/i3.config" </dev/null &>"$state/desktop.log" &
    echo $! >>"$state/pids"
    wait_for i3-msg -q nop 2>/dev/null || return
    [[ $desktop == i3 ]] && return
    (export HOME=$state/home WINEDEBUG=-all && "${as_user[@]}" wineboot --init && "${as_user[@]}" wineserver --wait) &>/dev/null
}

# Writes shader file $2 as kind $1: a broken, odd or altered copy of the program's own.
make_shader() {
    local good=$here/../Tarvelin/Shaders/${2##*/}
    case $1 in
    good) cp "$good" "$2" ;;
    unreadable) cp "$good" "$2" && chmod 000 "$2" ;;
    folder) mkdir "$2" ;;
    fifo) mkfifo "$2" ;;
    empty) : >"$2" ;;
    nul) sed '3s/^/\x0/' "$good" >"$2" ;;
    binary) head -c 4096 /dev/urandom >"$2" ;;
    crlf) sed 's/$/\r/' "$good" >"$2" ;;
    large) { cat "$good" && yes '// a comment line that pads this file out to megabytes' | head -n 120000; } >"$2" ;;
    syntax) sed 's/void main()/void main(/' "$good" >"$2" ;;
    mismatch) sed 's/out vec3 pass_color/out vec2 pass_color/; s/= in_color/= in_color.xy/' "$good" >"$2" ;;
    # Another output declared first: only the binding of out_color sends the right one to the screen.
    two-out) sed 's/^out vec4 out_color;/out vec4 other_color;\n&/; s/^    out_color = .*/&\n    other_color = vec4(1.0);/' "$good" >"$2" ;;
    no-color) sed 's/= in_color/= vec3(1.0)/' "$good" >"$2" ;;
    no-matrix) sed 's/rotation_matrix \* //' "$good" >"$2" ;;
    mat3) sed 's/mat4/mat3/; s/rotation_matrix \* in_position/vec4(rotation_matrix * in_position.xyz, 1.0)/' "$good" >"$2" ;;
    esac
}

# What the streams must match, by the names used in end_to_end.txt.
declare -A pattern=(
    [-]=''
    [healthy]=$'OpenGL Version: [^\n]+\nHaving a core-profile\nDoing illegal operation \\(glTranslate\\) now\\.\\.\\.\nIllegal operation caused an error message\\. :\\)'
    [compatible]=$'OpenGL Version: [^\n]+\nHaving a compatibility-profile\nDoing illegal operation \\(glTranslate\\) now\\.\\.\\.'
    [no-probe-error]='Illegal operation did NOT cause an error message\. :\('
    [not-built]='Could not compile minimal shader program\.'
    [no-window]=$'[^\n]+\nFailed to initialize OpenGL window\\.'
    [out-of-range]='GL: Numeric argument out of range\.'
    [every-frame]=$'(GL: Operation illegal in current state\\.\n)+GL: Operation illegal in current state\\.'
)
pattern[build-failed]=${pattern[healthy]}$'\n(Shader compilation failed\\.\n.*)?Shader linking failed\\.\n.+'
pattern[no-vertex]=$'Vertex shader file \\.\\./Tarvelin/Shaders/shadername\\.vert does not exist\\.\n'${pattern[not-built]}
pattern[no-fragment]=$'Fragment shader file \\.\\./Tarvelin/Shaders/shadername\\.frag does not exist\\.\n'${pattern[not-built]}

# The desktop's tools: find the program's window by its exact title (`window`: an X window or a
# sway node), tell whether it is hidden, ask the window manager to do $1 with it, take a picture of
# it into $1, press KEY (with hold: held down).
if [[ $desktop == wayland ]]; then
    sway_window() { swaymsg -t get_tree | jq -r --arg t "$title" ".. | objects | select(.name? // \"\" | test(\$t)) | $1"; }
    find_window() { window=$(sway_window .id) && [[ -n $window ]]; }
    hidden() { [[ $(sway_window .visible) == false ]]; }
    window_command() { swaymsg -q "[con_id=$window] $1"; }
    take_picture() { grim -g "$(sway_window '.rect | "\(.x),\(.y) \(.width)x\(.height)"')" "$1"; }
    press() { if [[ $# == 2 ]]; then wtype -P "$1" -s 60000 & else wtype -k "$1"; fi; }
else
    find_window() { window=$(xdotool search --name "$title"); }
    hidden() { ! xdotool search --onlyvisible --name "$title" >/dev/null; }
    window_command() { i3-msg -q "[id=$window] $1"; }
    take_picture() { import -window "$window" "$1"; }
    press() { xdotool windowfocus --sync "$window" "key${2:+down}" "$1"; }
fi

# The program's processor time, in ticks; it grows only while the program draws.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
drew_since() { (($(cpu_ticks) > $1 + 20)); }

# The points of a picture of $1 x $2 pixels that shows_triangle reads, as "kind x y" lines: the
# centre (c) is the grey third of each colour, sRGB-encoded; points at 0.4 of the square's half side
# (i) lie inside the triangle at any angle; points beyond its corners' circle (k) are black. At $3 s,
# the red, green and blue corners (R, G, B) are at 90 + 10 x $3 degrees and 120 degrees either side.
points_to_read() {
    awk -v w="$1" -v h="$2" -v t="$3" '
        function at(kind, f, a,    x, y) {
            x = int(w / 2 + f * r * cos(a * 3.14159265 / 180)); y = int(h / 2 - f * r * sin(a * 3.14159265 / 180))
            if (x >= 0 && x < w && y >= 0 && y < h) print kind, x, y
        }
        BEGIN { r = (w < h ? w : h) / 2; at("c", 0, 0)
            for (a = 0; a < 360; a += 45) { at("i", 0.4, a); at("k", 1.08, a) }
            if (t != "") { red = 90 + 10 * t; at("R", 0.9, red); at("G", 0.9, red - 120); at("B", 0.9, red + 120); at("k", 0.7, red + 180) } }'
}

colour_fits() { # KIND RED GREEN BLUE
    local sum=$(($2 + $3 + $4)) bright=$(($2 > 200))$(($3 > 200))$(($4 > 200))
    case $1 in
    c) (($2 > 145 && $2 < 167 && ($2 - $3) ** 2 + ($3 - $4) ** 2 < 10)) ;;
    i) ((sum >= 120)) ;;
    k) ((sum <= 30)) ;;
    R) [[ $bright == 100 ]] ;;
    G) [[ $bright == 010 ]] ;;
    B) [[ $bright == 001 ]] ;;
    esac
}

# Takes a picture of the window and checks that the triangle fills its largest centred square, at
# the angle of $1 s if given (see points_to_read), and that the picture is $2 (WIDTHxHEIGHT) if given.
shows_triangle() {
    local picture=$dir/picture size kind x y red green blue fits=1
    take_picture "$picture.png" || return
    size=$(identify -format '%wx%h' "$picture.png") && convert "$picture.png" -depth 8 "rgb:$picture.rgb" || return
    echo "picture of $size${2:+, expected $2} (kind x y: red green blue):" >"$dir/picture.txt"
    [[ -z ${2:-} || $size == "$2" ]] || return
    while read -r kind x y; do
        read -r red green blue < <(od -An -tu1 -j $(((y * ${size%x*} + x) * 3)) -N3 "$picture.rgb")
        echo "  $kind $x $y: $red $green $blue" >>"$dir/picture.txt"
        colour_fits "$kind" "$red" "$green" "$blue" || fits=0
    done < <(points_to_read "${size%x*}" "${size#*x}" "$1")
    ((fits))
}
check_picture() { wait_for shows_triangle "$@" || cat "$dir/picture.txt" >>"$dir/failure"; }

# Ends the run the way $1 says, once the window is there, and sets rc to the exit code.
end_run() {
    if [[ $1 != none ]] && ! wait_for find_window; then
        echo "no window titled $title" >"$dir/failure"
    else
        case $1 in
        hold-escape) press Escape hold ;;
        # Typed while the program is stopped: it must still see the key, in the next frame.
        tap-q) kill -STOP "$pid" && press q && kill -CONT "$pid" ;;
        tap-escape) kill -STOP "$pid" && press Escape && kill -CONT "$pid" ;;
        close | close-no-keyboard) window_command kill ;;
        hide-then-close) window_command "move to workspace 2" && wait_for hidden && window_command kill ;;
        hide-then-show)
            window_command "move scratchpad" && wait_for hidden && wait_for drew_since "$(cpu_ticks)" ||
                echo "no frame drawn while hidden" >"$dir/failure"
            window_command "scratchpad show, floating disable" && check_picture "$time"
            press Escape hold ;;
        errors-then-escape) wait_for awk 'END { exit NR < 2 }' "$dir/err" && press Escape hold ;;
        picture) check_picture "$time"; press Escape hold ;;
        picture-800x800) check_picture "$time" 800x800; press Escape hold ;;
        esac
    fi
    wait_for test ! -e "/proc/$pid" || kill -9 "$pid"
    wait "$pid"
    rc=$?
}

run_case() {
    local name desktops vert frag env ending code out_name err_name out err time=
    IFS=$'\t' read -r name desktops vert frag env ending code out_name err_name < <(awk -F' *[|] *' -v n="$1" \
        '$1 == n { sub(/ +$/, "", $9); OFS = "\t"; $1 = $1; print }' "$here/end_to_end.txt")
    [[ $env == - ]] && env=
    [[ $env =~ E2E_TIME=([0-9.]+) ]] && time=${BASH_REMATCH[1]}
    dir=$(mktemp -d "$state/case.XXXXXX") && chmod 755 "$dir" && mkdir -p "$dir/bin" "$dir/Tarvelin/Shaders"
    make_shader "$vert" "$dir/Tarvelin/Shaders/shadername.vert"
    make_shader "$frag" "$dir/Tarvelin/Shaders/shadername.frag"
    local launch=(env HOME="$state/home" LD_PRELOAD="$state/${E2E_PRELOAD##*/}${LD_PRELOAD:+:$LD_PRELOAD}") runner=()
    case $desktop in
    wayland) launch=(env -u DISPLAY "${launch[@]:1}" LD_LIBRARY_PATH="$state/glfw-wayland") ;;
    # Mesa draws on the main thread: its own threads could fault as Wine ends the process (1 in 80).
    wine) launch=(env HOME="$state/home" WINEDEBUG=-all LP_NUM_THREADS=0) runner=(wine) ;;
    esac
    [[ -n ${LSAN_OPTIONS:-} ]] && launch+=(LSAN_OPTIONS="suppressions=$state/lsan.supp:print_suppressions=0")
    # Valgrind's memcheck writes its findings to descriptor 3; it is slow to start.
    [[ $env == *E2E_MEMCHECK* ]] && runner=(valgrind --leak-check=full --xml=yes --xml-fd=3) patience=120
    source "$state/env"
    # The seat has a keyboard only while a wtype runs: one for the whole run, unless the case says.
    [[ $desktop == wayland && $ending != close-no-keyboard ]] && { wtype -s 600000 -k Shift_L & }
    # shellcheck disable=SC2086 # the case's environment changes are separate words
    (cd "$dir/bin" && exec "${as_user[@]}" "${launch[@]}" env $env "${runner[@]}" "$state/${E2E_PROGRAM##*/}") \
        >"$dir/out" 2>"$dir/err" 3>"$dir/memcheck.xml" &
    pid=$!
    end_run "$ending"
    # shellcheck disable=SC2046 # the keys held, and the keyboard kept on the seat
    kill $(jobs -p) 2>/dev/null
    [[ $desktop == wayland ]] || xdotool keyup Escape
    out=$(<"$dir/out") err=$(<"$dir/err")
    [[ $desktop == wine ]] && out=${out//$'\r'/} err=${err//$'\r'/} # Windows ends lines with CR LF
    # Memcheck's errors that are the program's own: raised in its code, or memory that its code
    # allocated and lost. The first frame outside Valgrind's allocator tells.
    awk -v program="$state/${E2E_PROGRAM##*/}" '/<error>/ { placed = 0 }
        /<obj>/ && !placed && !/vgpreload/ { placed = 1; owned += index($0, program) > 0 }
        END { if (owned) print owned, "memcheck errors in the program" }' \
        "$dir/memcheck.xml" >>"$dir/failure"
    [[ -s $dir/failure ]] && cat "$dir/failure" && return 1
    [[ $rc == "$code" && $out =~ ^${pattern[$out_name]}$ && $err =~ ^${pattern[$err_name]}$ ]] && return
    printf 'exit %s, expected %s\n--- stdout\n%s\n--- stderr\n%s\n' "$rc" "$code" "$out" "$err"
    return 1
}

case $2 in
start) start ;;
stop) state=$(cat "$E2E_STATE") && kill $(cat "$state/pids"); rm -rf "$state" "$E2E_STATE" ;;
*) state=$(cat "$E2E_STATE") && run_case "$2" ;;
esac
