#!/usr/bin/env bash
# Runs the program as a user would: `end_to_end.sh DESKTOP start|stop` brings a desktop up or down
# (a CTest fixture), `end_to_end.sh DESKTOP CASE` runs a case of end_to_end.txt on it. Each desktop
# is a file in desktops/ that defines its tools: start_desktop (in the folder $desk, writing the
# program's environment to $desk/env), display_server (the process whose crash takes the display
# away), find_window (sets `window`), hidden, window_command (close, other-workspace, minimise,
# show), where it takes pictures take_picture FILE (of the window's content), and where it types
# keys press KEY [hold] and release_keys. preload.cpp is preloaded but under Wine. As root, the
# program and the Wayland desktops run as nobody (unreadable files are then unreadable), on copies
# of what they read. Set by CMake: E2E_PROGRAM, E2E_PRELOAD, E2E_FRAME_COUNTER, E2E_STATE.
set -u
desktop=$1 here=$(dirname "$(realpath "$0")") patience=20
title='Realtime Rendering - OpenGL 3.2 core profile (GLFW)'
# shellcheck disable=SC2034,SC2001,SC2016 # for the desktops' files; sed escapes what a regex reads
title_pattern=^$(sed 's/[][\.*^$()+?{}|]/\\&/g' <<<"$title")$ # the whole title, exactly
user=$(id -un) as_user=()
[[ $user == root ]] && user=nobody as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

wait_for() { # runs "$@" every 0.1 s until it succeeds, for up to $patience seconds
    local until=$((SECONDS + patience))
    until "$@"; do ((SECONDS < until)) && sleep 0.1 || return; done
}

# Starts "$@" in the background as a part of the desktop in $desk, marked so that end_desktop finds
# it and whatever it starts in turn; what it prints goes to $desk/log.
as_part_of_desktop() { E2E_DESKTOP=$desk setsid "$@" </dev/null &>>"$desk/log" & }
end_desktop() { # [NAME]: kills every process of the desktop in $desk, or those named NAME
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/} pid=${pid%/environ}
        [[ -z ${1:-} || $(cat "/proc/$pid/comm" 2>/dev/null) == "$1" ]] &&
            grep -qxzF "E2E_DESKTOP=$desk" "$environ" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
    done
}

# What a desktop need not define.
native_wayland= # set where the program runs on Wayland itself, not through Xwayland
# Changes the command that starts the program (`launch` and `runner`). Natively on Wayland: no X
# display to fall back on, and on GLFW 3.3 its Wayland build. In the sanitizer build, from
# libwayland 1.23 on (Debian 13), the slow unwinder: the quick one stops inside libwayland, and
# whose object leaked is lost to the suppressions. (Debian 12 needs none, and there the slow one
# would deadlock in llvmpipe's compiler.)
launch_options() {
    [[ -z $native_wayland ]] && return
    launch=(env -u DISPLAY "${launch[@]:1}" LD_LIBRARY_PATH="$state/glfw-wayland")
    [[ -n ${LSAN_OPTIONS:-} ]] &&
        dpkg --compare-versions "$(dpkg-query -W -f='${Version}' libwayland-client0)" ge 1.23 &&
        launch+=(ASAN_OPTIONS="${ASAN_OPTIONS:-}:fast_unwind_on_malloc=0")
}
keyboard_on_seat() { :; }
release_keys() { :; }
# shellcheck source=/dev/null # each desktop's file is checked on its own
source "$here/desktops/$desktop.sh"

# Makes the desktop's folder $desk and starts the desktop there, giving it a minute: a first start
# on a new machine is slow. A desktop that does not start shows the end of its log.
new_desktop() {
    desk=$1 && mkdir -m 755 "$desk" && mkdir -m 700 "$desk/home" && chown "$user" "$desk/home" &&
        patience=60 start_desktop && return
    echo "$desktop did not start within a minute; the end of its log ($desk/log):" && tail -n 20 "$desk/log" && return 1
}

# The window commands in the language of i3, which sway speaks too.
# shellcheck disable=SC2034 # used by i3.sh and wayland.sh
declare -A i3_command=([close]=kill [other-workspace]="move to workspace 2" [minimise]="move scratchpad"
    [show]="scratchpad show, floating disable")

start() {
    state=$(mktemp -d /tmp/tarvelin-e2e.XXXXXX) && chmod 755 "$state" && echo "$state" >"$E2E_STATE"
    cp -r "$E2E_PROGRAM" "$E2E_PRELOAD" "$E2E_FRAME_COUNTER" "$here/sway.config" "$here/lsan.supp" "$state/"
    # GLFW 3.3 is for X11 or Wayland: its Wayland build is copied in too, and used on Wayland.
    local glfw_wayland && glfw_wayland=$("$here/../scripts/glfw-wayland.sh") || return
    [[ -z $glfw_wayland ]] || cp -r "$glfw_wayland" "$state/glfw-wayland"
    new_desktop "$state/desktop"
}

stop() { state=$(cat "$E2E_STATE") && desk=$state/desktop && end_desktop; rm -rf "$state" "$E2E_STATE"; }

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
# The X server gone, Xlib writes one of its two lines (by how the connection broke), ending in
# CR LF, and ends the process itself, before glfwTerminate, which the leak checker then reports.
# On Wayland, GTK (libdecor's plugin, GLFW 3.4) may find its own connection gone first, and do so.
pattern[desktop-gone]=$'((X connection to :[0-9]+ broken \\(explicit kill or server shutdown\\)\\.|XIO: +fatal IO error [^\n]+\r\n[^\n]+)\r(\nleak: .*)?|Lost the connection to the Wayland display\\.|Gdk-Message: [0-9:.]+: Error reading events from display: Broken pipe(\nleak: .*)?)'
pattern[no-fragment]=$'Fragment shader file \\.\\./Tarvelin/Shaders/shadername\\.frag does not exist\\.\n'${pattern[not-built]}

# The program's processor time, in ticks; it grows only while the program draws.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null; }
drew_since() { local now && now=$(cpu_ticks) && ((now > $1 + 10)); }

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
    echo "no picture could be taken" >"$dir/picture.txt" && take_picture "$picture.png" || return
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

# The frame counter's file (BENCH_LAP: a line a lap): whether it has $1 lines, and line $1's rate.
laps_written() { (($(wc -l <"$dir/frames") >= $1)); }
lap_rate() { awk -v n="$1" 'NR == n { print int($2) }' "$dir/frames"; }
# Whether the program still runs: a run that ended is gone from /proc once the shell has reaped it.
running() { [[ -e /proc/$pid && $(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null) != Z ]]; }

# Ends a run that has shown what the case looks for: Esc held, or where no key is typed, a close.
quit() { if declare -F press >/dev/null; then press Escape hold; else window_command close; fi; }

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
        other-keys) # typed while stopped; the run goes on for a tenth of a second of drawing after
            local ticks key && ticks=$(cpu_ticks) && kill -STOP "$pid"
            for key in a w 1 space; do press "$key"; done
            kill -CONT "$pid" && wait_for eval "! running || drew_since $ticks"
            running || echo "the run ended on a key that is not Esc or Q" >"$dir/failure"
            press Escape hold ;;
        close | close-no-keyboard) window_command close ;;
        click-close) click_close_button ;;
        other-workspace-then-close) window_command other-workspace && wait_for hidden && window_command close ;;
        minimise-then-close) window_command minimise && wait_for hidden && window_command close ;;
        minimise-then-show)
            window_command minimise && wait_for hidden && wait_for drew_since "$(cpu_ticks)" ||
                echo "no frame drawn while hidden" >"$dir/failure"
            window_command show # then in view, with the triangle where its clock says
            wait_for eval '! hidden' || echo "not shown again" >>"$dir/failure"
            ! declare -F take_picture >/dev/null || check_picture "$time"
            quit ;;
        errors-then-escape) wait_for awk 'END { exit NR < 2 }' "$dir/err" && press Escape hold ;;
        picture) check_picture "$time"; quit ;;
        picture-800x800) check_picture "$time" 800x800; press Escape hold ;;
        # What a frame leaves behind shows once the triangle has turned: 60 degrees puts a corner
        # where the point opposite the new red corner is to be black.
        clock-moves) check_picture "$time" && kill -USR1 "$pid" && check_picture "$later"; quit ;;
        # Where the compositor paces the frames (natively on Wayland): in view, over the second lap,
        # between half and twice the monitor's 60 a second; hidden, with no word from the compositor,
        # about ten (the second lap after hiding).
        frame-rate)
            local lap=2
            wait_for laps_written $lap && (($(lap_rate $lap) >= 60 / 2 && $(lap_rate $lap) <= 2 * 60)) ||
                echo "in view: $(lap_rate $lap) frames a second, not between half and twice the monitor's 60" >"$dir/failure"
            window_command other-workspace && wait_for hidden && lap=$(($(wc -l <"$dir/frames") + 2)) &&
                wait_for laps_written $lap && (($(lap_rate $lap) <= 15)) ||
                echo "hidden: $(lap_rate $lap) frames a second, more than 15" >>"$dir/failure"
            window_command close ;;
        # What the desktop shows of the window, as the desktop's own check says.
        named_tarvelin | framed_by_title_bar) "$1" || echo "the desktop's check failed: $1" >"$dir/failure"; quit ;;
        desktop-ends) end_desktop "${display_server:?}" ;;
        esac
    fi
    wait_for eval '! running' || kill -9 "$pid"
    wait "$pid"
    rc=$?
}

run_case() {
    local vert frag env ending code out_name err_name out err time='' later=''
    IFS=$'\t' read -r _ _ vert frag env ending code out_name err_name < <(awk -F' *[|] *' -v n="$1" \
        '$1 == n { sub(/ +$/, "", $9); OFS = "\t"; $1 = $1; print }' "$here/end_to_end.txt")
    [[ $env == - ]] && env=
    [[ $env =~ E2E_TIME=([0-9.]+)(,([0-9.]+))? ]] && time=${BASH_REMATCH[1]} later=${BASH_REMATCH[3]}
    desk=$state/desktop
    # A case that cannot check what it names on this desktop says why and is skipped: CTest reads the
    # line. Through Xwayland the buffer swap paces the frames, as on X11, and no wire log is written.
    [[ $ending == frame-rate && -z $native_wayland ]] && echo "skipped: the program runs through Xwayland here" && return
    dir=$(mktemp -d "$state/case.XXXXXX") && chmod 755 "$dir" && mkdir -p "$dir/bin" "$dir/Tarvelin/Shaders"
    make_shader "$vert" "$dir/Tarvelin/Shaders/shadername.vert"
    make_shader "$frag" "$dir/Tarvelin/Shaders/shadername.frag"
    # The desktop goes away under the program: one of the case's own, so that later cases have theirs.
    [[ $ending != desktop-ends ]] || new_desktop "$dir/desktop" || return 1
    local preload=$state/${E2E_PRELOAD##*/}
    if [[ $ending == frame-rate ]]; then # the frame counter appends its figures to a file of the user's
        preload+=:$state/${E2E_FRAME_COUNTER##*/} env+=" BENCH_OUT=$dir/frames"
        : >"$dir/frames" && chown "$user" "$dir/frames"
    fi
    # Mesa's software renderer, as the tests mean: else, on a machine without a GPU, Mesa's EGL
    # tells of each device it looks for on the way to it.
    local runner=() launch=(env HOME="$desk/home" LIBGL_ALWAYS_SOFTWARE=1 LD_PRELOAD="$preload${LD_PRELOAD:+:$LD_PRELOAD}")
    launch_options
    [[ -n ${LSAN_OPTIONS:-} ]] && launch+=(LSAN_OPTIONS="suppressions=$state/lsan.supp:print_suppressions=0")
    # Valgrind's memcheck writes its findings to descriptor 3; it is slow to start.
    [[ $env == *E2E_MEMCHECK* ]] && runner=(valgrind --leak-check=full --xml=yes --xml-fd=3) patience=120
    # shellcheck source=/dev/null # written by the desktop's start
    source "$desk/env"
    [[ $ending == close-no-keyboard ]] || keyboard_on_seat
    # shellcheck disable=SC2086 # the case's environment changes are separate words
    (cd "$dir/bin" && exec "${as_user[@]}" "${launch[@]}" env $env "${runner[@]}" "$state/${E2E_PROGRAM##*/}") \
        >"$dir/out" 2>"$dir/err" 3>"$dir/memcheck.xml" &
    pid=$!
    end_run "$ending"
    # shellcheck disable=SC2046 # the keys held, and the keyboard kept on the seat
    kill $(jobs -p) 2>/dev/null
    if [[ $ending == desktop-ends ]]; then end_desktop; else release_keys; fi # the case's own desktop
    # Without a line that a container adds and a desktop does not: GTK's image loader (Glycin, from
    # Debian 14 on) cannot sandbox itself with bwrap where there are no user namespaces, and says so.
    out=$(<"$dir/out") err=$(grep -vxE 'WARNING: Glycin running without sandbox\. .*' "$dir/err")
    # libwayland's wire log, where the case asks for it: 20 frame callbacks or more asked for the
    # window's surface, and at most one a surface asked for and not yet answered (then other
    # callbacks may reuse its id); the log then leaves stderr. Objects are written wl_surface@17, or
    # from libwayland 1.24 on wl_surface#17.
    if [[ $env == *WAYLAND_DEBUG* ]]; then
        sed -nE 's/.*-> (wl_surface[@#][0-9]+)\.frame\(new id (wl_callback[@#][0-9]+)\).*/ask \1 \2/p
            s/.* (wl_callback[@#][0-9]+)\.done\(.*/done \1/p' <<<"$err" | awk '$1 == "ask" { of[$3] = $2
                if (++asked[$2] > window) window = asked[$2]; if (++open[$2] > most) most = open[$2] }
            $1 == "done" && $2 in of { open[of[$2]]--; delete of[$2] }
            END { if (window < 20) print "the wire log shows", window + 0, "frame callbacks asked for, not 20 or more"
                if (most > 1) print most, "frame callbacks outstanding at once" }' >>"$dir/failure"
        err=$(grep -vE '^\[[0-9:. ]+\] ' <<<"$err")
    fi
    [[ $desktop == wine ]] && out=${out//$'\r'/} err=${err//$'\r'/} # Windows ends lines with CR LF
    # Memcheck's errors that are the program's own: raised in its code, or memory that its code
    # allocated and lost. The first frame outside Valgrind's allocator tells. A report cut short fails.
    [[ $env != *E2E_MEMCHECK* ]] || awk -v program="$state/${E2E_PROGRAM##*/}" '/<error>/ { placed = 0 }
        /<obj>/ && !placed && !/vgpreload/ { placed = 1; owned += index($0, program) > 0 } /<\/valgrindoutput>/ { whole = 1 }
        END { if (!whole) print "memcheck wrote no whole report"; if (owned) print owned, "memcheck errors in the program" }' \
        "$dir/memcheck.xml" >>"$dir/failure"
    [[ ! -s $dir/failure && $rc == "$code" && $out =~ ^${pattern[$out_name]}$ && $err =~ ^${pattern[$err_name]}$ ]] &&
        return
    cat "$dir/failure" 2>/dev/null
    printf 'exit %s, expected %s\n--- stdout\n%s\n--- stderr\n%s\n' "$rc" "$code" "$out" "$err"
    return 1
}

case $2 in
start) start ;;
stop) stop ;;
*) state=$(cat "$E2E_STATE") && run_case "$2" ;;
esac
