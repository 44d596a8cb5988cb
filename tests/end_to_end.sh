#!/usr/bin/env bash
# Runs the program as a user would: `end_to_end.sh DESKTOP start|stop` brings a desktop up or down;
# `end_to_end.sh DESKTOP NAME COLUMNS...` runs a row of end_to_end.txt on it; `end_to_end.sh - words`
# lists the words its columns may use. As root, the program and the Wayland desktops run as nobody.
# CMake sets the E2E_ variables it reads; every wait keeps within E2E_TIMEOUT, CTest's limit for a case.
set -u
desktop=$1 here=$(dirname "$(realpath "$0")") patience=20 deadline=$((SECONDS + ${E2E_TIMEOUT:-120} - 15))
title='Realtime Rendering - OpenGL 3.2 core profile (GLFW)'
# shellcheck disable=SC2034,SC2001,SC2016 # for the desktops' files; sed escapes what a regex reads
title_pattern=^$(sed 's/[][\.*^$()+?{}|]/\\&/g' <<<"$title")$ # the whole title, exactly
user=$(id -un) as_user=()
[[ $user == root ]] && user=nobody as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

wait_for() { # runs "$@" every 0.1 s until it succeeds, for up to $patience seconds, never past $deadline
    local until=$((SECONDS + patience < deadline ? SECONDS + patience : deadline))
    until "$@"; do ((SECONDS < until)) && sleep 0.1 || return; done
}
fail() { echo "$*" >>"$dir/failure"; } # what the case found wrong, a line each

# Starts "$@" in the background, marked as a part of the desktop in $desk; it logs to $desk/log.
as_part_of_desktop() { E2E_DESKTOP=$desk setsid "$@" </dev/null &>>"$desk/log" & }
desktop_processes() { # [NAME]: the processes of the desktop in $desk, or those named NAME
    local environ pid
    while read -r environ; do
        pid=${environ#/proc/} pid=${pid%/environ}
        [[ -n ${1:-} && $(cat "/proc/$pid/comm" 2>/dev/null) != "$1" ]] || echo "$pid"
    done < <(grep -lsxzF "E2E_DESKTOP=$desk" /proc/[0-9]*/environ)
}
none_left() { [[ -z $(desktop_processes "$1") ]]; } # of the desktop in $desk, named $1
# shellcheck disable=SC2046 # the processes, a word each
end_desktop() { kill -KILL $(desktop_processes "$@") 2>/dev/null; return 0; } # those already gone too

# Set by the desktop's file, as PROGRAM:PACKAGE: what starts the desktop, and what drives the window.
needs=() window_needs=()
# shellcheck source=/dev/null # each file is checked alone
source "$here/skip.sh" && source "$here/desktops/interface.sh"
# shellcheck source=/dev/null # none where the harness lists its words
[[ $desktop == - ]] || source "$here/desktops/$desktop.sh" || exit

# Makes the desktop's folder $desk and starts the desktop there within a minute, or shows its log.
new_desktop() {
    desk=$1 && mkdir -m 755 "$desk" && mkdir -m 700 "$desk/home" && chown "$user" "$desk/home" &&
        deadline=$((SECONDS + 60)) start_desktop && return
    echo "$desktop did not start within a minute; the end of its log ($desk/log):" && tail -n 20 "$desk/log" && return 1
}

start() {
    [[ ! -f $E2E_STATE ]] || stop # started again without a stop, as `ctest --repeat` does
    state=$(mktemp -d /tmp/tarvelin-e2e.XXXXXX) && chmod 755 "$state" && echo "$state" >"$E2E_STATE"
    cp -r "$E2E_PROGRAM" "$E2E_PRELOAD" "$E2E_FRAME_COUNTER" "$here/sway.config" "$here/lsan.supp" \
        "$here/read_results.py" "$state/"
    # GLFW 3.3 is for X11 or Wayland: natively on Wayland, its Wayland build is copied in too.
    local glfw_wayland && [[ -n $native_wayland ]] && { glfw_wayland=$("$here/../scripts/glfw-wayland.sh") || return; }
    [[ -z ${glfw_wayland:-} ]] || cp -r "$glfw_wayland" "$state/glfw-wayland"
    new_desktop "$state/desktop"
}

stop() { # ends the desktop, if it was started, and keeps its log in $E2E_LOG
    [[ -f $E2E_STATE ]] || return 0
    state=$(cat "$E2E_STATE") && desk=$state/desktop && end_desktop
    cp "$desk/log" "$E2E_LOG"; rm -f "$E2E_STATE"
    # A process just killed may not have ended yet, and still hold a file there.
    wait_for rm -rf "$state" 2>/dev/null
}

# The shader kinds a row may name: each writes file $1, a broken, odd or altered copy of $good.
shader_good() { cp "$good" "$1"; }
shader_missing() { :; }
shader_unreadable() { cp "$good" "$1" && chmod 000 "$1"; }
shader_folder() { mkdir "$1"; }
shader_fifo() { mkfifo "$1"; }
shader_empty() { : >"$1"; }
shader_too-large() { truncate -s 3G "$1"; } # sparse: larger than any shader, on no disk space
shader_nul() { edited "$1" '3s/^/\x0/'; }
shader_ctrl-z() { edited "$1" '1s|$|\n// Ctrl-Z, the end of a text file to Windows: \x1a|'; }
shader_large() { cp "$good" "$1" && yes '// a comment line that pads this file out to megabytes' | head -n 120000 >>"$1"; }
shader_syntax() { edited "$1" 's/void main()/void main(/'; }
shader_mismatch() { edited "$1" 's/out vec3 pass_color/out vec2 pass_color/' 's/= in_color/= in_color.xy/'; }
# Another output declared first: only the binding of out_color sends the right one to the screen.
shader_two-out() { edited "$1" 's/^out vec4 out_color;/out vec4 other_color;\n&/' 's/^    out_color = .*/&\n    other_color = vec4(1.0);/'; }
shader_no-color() { edited "$1" 's/= in_color/= vec3(1.0)/'; }
shader_no-matrix() { edited "$1" 's/rotation_matrix \* //'; }
shader_mat3() { edited "$1" 's/mat4/mat3/' 's/rotation_matrix \* in_position/vec4(rotation_matrix * in_position.xyz, 1.0)/'; }
shader_readme-edit() { local edit && edit=$(readme_says edit) && edited "$1" "$edit"; }
# Writes $1 as $good with each sed expression after it applied in turn; each must change the file.
edited() {
    local file=$1 edit && shift && cp "$good" "$file" || return
    for edit; do { sed "$edit" "$file" >"$file.edited" && ! cmp -s "$file" "$file.edited" && mv "$file.edited" "$file"; } ||
        { fail "the shader edit '$edit' changes nothing in ${good##*/}"; return 1; }; done
}

# What the README says: the sed expression of its shader edit, or the corners' colours after it.
readme_says() {
    local -A what=([edit]="s|^    sed -i '(.*)' Tarvelin/Shaders/shadername\.frag$|\1|p"
        [corners]='s/.*the corners that were red, green and blue are now ([a-z]+), ([a-z]+) and ([a-z]+).*/\1,\2,\3/p')
    local said; { said=$(sed -nE "${what[$1]}" "$here/../README.md") && [[ -n $said ]] && echo "$said"; } ||
        { fail "README.md no longer says its shader $1 in the words the test reads"; return 1; }
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
    [loader-failed]=$'Error: Missing GL version\nCould not find the OpenGL function glCreateShader\\.'
    [no-vertex-arrays]='Could not find the OpenGL function glGenVertexArrays\.'
    [no-version]='The driver gave no OpenGL version\.'
    [glfw-error]='Invalid key 9999'
)
pattern[build-failed]=${pattern[healthy]}$'\n(Shader compilation failed\\.\n.*)?Shader linking failed\\.\n.+'
# A syntax error: the compiler's log names the line after `void main(` and what is wrong there.
syntax_error=($'\nShader compilation failed\\.\n0:' $'\\(1\\): error: syntax error, unexpected [^\n]+\n?\nShader linking failed\\.\nerror: linking with uncompiled[^\n]*')
pattern[vertex-syntax]=${pattern[healthy]}${syntax_error[0]}11${syntax_error[1]}
pattern[fragment-syntax]=${pattern[healthy]}${syntax_error[0]}8${syntax_error[1]}
pattern[no-vertex]=$'Vertex shader file \\.\\./Tarvelin/Shaders/shadername\\.vert does not exist\\.\n'${pattern[not-built]}
# Xlib's lines (ending in CR LF) or GTK's, which end the process before glfwTerminate; or the program's.
pattern[desktop-gone]=$'((X connection to :[0-9]+ broken \\(explicit kill or server shutdown\\)\\.|XIO: +fatal IO error [^\n]+\r\n[^\n]+)\r(\nleak: .*)?|Lost the connection to the Wayland display\\.|Gdk-Message: [0-9:.]+: (Error reading events from display: Broken pipe|Lost connection to Wayland compositor\\.)(\nleak: .*)?)'
pattern[vertex-too-large]=$'Vertex shader file \\.\\./Tarvelin/Shaders/shadername\\.vert is too large: over 64 MiB\\.\n'${pattern[not-built]}
pattern[not-srgb]='The framebuffer does not encode sRGB: the picture will look too dark\.'
pattern[no-fragment]=$'Fragment shader file \\.\\./Tarvelin/Shaders/shadername\\.frag does not exist\\.\n'${pattern[not-built]}

# The program's processor time in ticks, which grows (by 3: 30 ms) only as it draws; its state.
cpu_ticks() { local stat && read -ra stat <"/proc/$pid/stat" && echo $((stat[13] + stat[14])); } 2>/dev/null
drew_since() { local now && now=$(cpu_ticks) && ((now > $1 + 3)); }
in_state() { local stat && read -ra stat <"/proc/$pid/stat" && [[ ${stat[2]} == "$1" ]]; } 2>/dev/null
running() { [[ -e /proc/$pid ]] && ! in_state Z; }
not() { ! "$@"; }
ended_or_drew_since() { ! running || drew_since "$1"; }
found_or_ended() { find_window || ! running; } # a program that ended is waited for no longer
has_lines() { local lines && lines=$(wc -l <"$1") && ((lines >= $2)); } 2>/dev/null # file $1, $2 or more

# Whether a picture of the window shows the triangle at $1 s, with the corners $2 (red,green,blue).
shows_triangle() {
    echo "no picture could be taken" >"$dir/picture.txt" && take_picture "$dir/picture.png" || return
    convert "$dir/picture.png" -depth 8 ppm:- |
        python3 "$state/read_results.py" picture /dev/stdin "${1:--}" "${2:--}" &>"$dir/picture.txt"
}
check_picture() { wait_for shows_triangle "$@" || cat "$dir/picture.txt" >>"$dir/failure"; }

# The rate of lap $1 in the frame counter's file (BENCH_LAP: a line a lap).
lap_rate() { local rate && read -r _ rate _ < <(sed -n "$1p" "$dir/frames") && echo "${rate%.*}"; }

# Types keys "$@" while the program is stopped: it must still see them, in the frames after.
press_while_stopped() {
    local key && kill -STOP "$pid" || return
    for key; do press "$key" || fail "could not type $key"; done
    kill -CONT "$pid" && [[ ! -s $dir/failure ]]
}
# Clicks the close button; a click that comes before the title bar takes clicks (under load) misses.
closed_by_a_click() { ! running || { click_close_button; sleep 0.5; ! running; }; }
# Ends a run that has shown what the case looks for: Esc held, or where no key is typed, a close.
quit() { if declare -F press >/dev/null; then press Escape hold; else window_command close; fi; }
hide() { { window_command "$1" && wait_for hidden; } || { fail "the window was not hidden ($1)" && return 1; }; }
# Hides the window by $1, and waits for frames drawn while it is out of view.
hide_and_draw() { hide "$1" && { wait_for drew_since "$(cpu_ticks)" || fail "no frame drawn while hidden"; }; }

# The endings a row may name, once the window is there (but none). A step that fails fails the case.
ending_none() { :; }
ending_hold-escape() { press Escape hold; }
ending_tap-q() { press_while_stopped q; }
ending_tap-escape() { press_while_stopped Escape; }
ending_other-keys() { # the run goes on drawing after
    local ticks && ticks=$(cpu_ticks) && press_while_stopped a w 1 space && wait_for ended_or_drew_since "$ticks"
    { running || fail "the run ended on a key that is not Esc or Q"; } && press Escape hold
}
ending_close() { window_command close; }
ending_close-no-keyboard() { window_command close; }
ending_click-close() { wait_for closed_by_a_click; }
ending_other-workspace-then-close() { hide other-workspace && window_command close; }
ending_minimise-then-close() { hide_and_draw minimise && window_command close; }
ending_minimise-then-show() {
    hide_and_draw minimise
    window_command show # then in view, with the triangle where its clock says
    wait_for not hidden || fail "not shown again"
    ! declare -F take_picture >/dev/null || check_picture "$time"
    quit
}
ending_errors-then-escape() { wait_for has_lines "$dir/err" 2 && press Escape hold; }
ending_picture() { check_picture "$time"; quit; }
ending_readme-picture() { local corners && corners=$(readme_says corners) && check_picture "$time" "$corners"; quit; }
# What a frame leaves behind shows after 60 degrees, where a black point is to be.
ending_clock-moves() { check_picture "$time" && kill -USR1 "$pid" && check_picture "$later"; quit; }
# Natively on Wayland: in view (the second lap) half to twice the monitor's 60; hidden, about 10.
ending_frame-rate() {
    local lap=2
    { wait_for has_lines "$dir/frames" $lap && (($(lap_rate $lap) >= 60 / 2 && $(lap_rate $lap) <= 2 * 60)); } ||
        fail "in view: $(lap_rate $lap) frames a second, not between half and twice the monitor's 60"
    { hide other-workspace && lap=$(($(wc -l <"$dir/frames") + 2)) && wait_for has_lines "$dir/frames" $lap &&
        (($(lap_rate $lap) <= 15)); } || fail "hidden: $(lap_rate $lap) frames a second, more than 15"
    window_command close
}
# What the desktop shows of the window, as the desktop's own check says.
ending_named-tarvelin() { named_tarvelin || fail "the desktop does not name the window tarvelin"; quit; }
ending_framed-by-title-bar() { framed_by_title_bar || fail "the desktop draws no title bar around 800 x 800"; quit; }
# The desktop (the case's own) goes away: at once; while the program has stopped itself
# (E2E_BREAK=stop-between-frames), before it writes; or as the hidden window's events arrive.
ending_desktop-ends() { end_desktop "${display_server:?}"; }
ending_desktop-ends-then-written() {
    wait_for in_state T && end_desktop "$display_server" && wait_for not xdotool getdisplaygeometry 2>/dev/null &&
        kill -CONT "$pid"
}
# KWin's X11 session: its window manager and compositor killed, the X server stays; the window
# goes on drawing, and Esc still ends the run.
ending_window-manager-ends() {
    local ticks && ticks=$(cpu_ticks) && ! none_left kwin_x11 && end_desktop kwin_x11 && wait_for none_left kwin_x11 &&
        wait_for drew_since "$ticks" && press Escape hold
}
ending_desktop-ends-busy() {
    local server && server=$(desktop_processes "$display_server") && [[ -n $server ]] && hide other-workspace || return
    window_command fullscreen && window_command fullscreen && kill -KILL "$server"
}

# Closes the standard stream that E2E_CLOSE names in $1, as a launcher or a service may leave it.
close_stream() { case $1 in *E2E_CLOSE=stdout*) exec >&- ;; *E2E_CLOSE=stderr*) exec 2>&- ;; esac; }

# Ends the run the way $1 says, once the window is there, and sets rc to the exit code.
end_run() {
    if [[ $1 != none ]] && ! { wait_for found_or_ended && find_window; }; then fail "no window titled $title"
    elif ! "ending_$1"; then fail "ending $1: a step failed (see the lines above, or the desktop's log)"; fi
    wait_for not running || { kill -CONT "$pid"; kill -KILL "$pid"; fail "did not end within $SECONDS s of the case's start; killed"; }
    wait "$job"; rc=$?
}

# Runs row $1, given its columns after the name and the desktops.
run_case() {
    local vert=$2 frag=$3 env=$4 ending=$5 code=$6 out_name=$7 err_name=$8 out err time='' later=
    local kept=${E2E_LOG%.log}-failed/${1//[^A-Za-z0-9.-]/_}
    [[ $env == - ]] && env=
    [[ $env =~ E2E_TIME=([0-9.]+)(,([0-9.]+))? ]] && time=${BASH_REMATCH[1]} later=${BASH_REMATCH[3]}
    desk=$state/desktop && rm -rf "$kept" && echo "=== $desktop: $1" >>"$desk/log"
    # Through Xwayland the swap paces the frames, as on X11: skipped.
    [[ $ending == frame-rate && -z $native_wayland ]] && echo "skipped: the program runs through Xwayland here" && return
    # The tools that drive the window and read the results, and the one that runs memcheck.
    [[ $ending == none ]] || skip_unless_installed "${window_needs[@]}" convert:imagemagick python3:python3
    [[ $env != *MEMCHECK* ]] || skip_unless_installed valgrind:valgrind python3:python3
    dir=$(mktemp -d "$state/case.XXXXXX") && chmod 755 "$dir" && chown "$user" "$dir" && mkdir -p "$dir/bin" "$dir/Tarvelin/Shaders"
    # A word of the row that the harness does not know (docs/testing.md lists them) fails the case.
    local word known && known=$(words) && while read -r word; do grep -qxF "$word" <<<"$known" || fail "no $word"; done < <(
        printf '%s\n' "kind $vert" "kind $frag" "ending $ending" "pattern $out_name" "pattern $err_name"
        grep -oE 'E2E_[A-Z_]+' <<<"$env" | sed 's/^/variable /')
    { [[ ! -s $dir/failure ]] && make_shader "$vert" vert && make_shader "$frag" frag; } || { cat "$dir/failure" && return 1; }
    # The desktop goes away under the program: one of the case's own, so that later cases have theirs.
    [[ $ending != desktop-ends* && $ending != window-manager-ends ]] || new_desktop "$dir/desktop" || return 1
    local preload=$state/${E2E_PRELOAD##*/} # and the frame counter, which writes to the case's folder
    [[ $ending != frame-rate ]] || preload+=:$state/${E2E_FRAME_COUNTER##*/} env+=" BENCH_OUT=$dir/frames"
    # Mesa's software renderer at once: else, without a GPU, Mesa's EGL tells of each device it tries.
    local runner=() launch=(env HOME="$desk/home" LIBGL_ALWAYS_SOFTWARE=1 LD_PRELOAD="$preload${E2E_KEEP_LOADED:+:$E2E_KEEP_LOADED}")
    launch_options
    [[ -n ${LSAN_OPTIONS:-} ]] && launch+=(LSAN_OPTIONS="suppressions=$state/lsan.supp:print_suppressions=0")
    # Valgrind's memcheck writes its findings to descriptor 3; it is slow to start.
    [[ $env == *E2E_MEMCHECK* ]] && runner=(valgrind --leak-check=full --xml=yes --xml-fd=3) patience=$E2E_TIMEOUT
    # shellcheck source=/dev/null # written by the desktop's start
    source "$desk/env"
    [[ $ending == close-no-keyboard ]] || keyboard_on_seat
    # shellcheck disable=SC2086 # the case's environment changes are separate words
    (cd "$dir/bin" && close_stream "$env" && exec "${as_user[@]}" "${launch[@]}" env $env "${runner[@]}" "$state/${E2E_PROGRAM##*/}") \
        >"$dir/out" 2>"$dir/err" 3>"$dir/memcheck.xml" &
    pid=$! job=$! # pid: the program, which a desktop's find_window may name more closely
    end_run "$ending"
    # shellcheck disable=SC2046 # the keys held, and the keyboard kept on the seat
    kill $(jobs -p) 2>/dev/null
    if [[ -d $dir/desktop ]]; then end_desktop; else release_keys; fi # the case's own desktop
    # Without what a container adds (GTK's image loader cannot sandbox itself without user namespaces)
    # and Wine's page fault in 1 run in 100 that else ends as it should (docs/windows.md).
    out=$(<"$dir/out") err=$(grep -vxE 'WARNING: Glycin running without sandbox\. .*|wine: Unhandled page fault on execute access to .*' "$dir/err")
    [[ $desktop == wine ]] && out=${out//$'\r'/} err=${err//$'\r'/} # Windows ends lines with CR LF
    # What memcheck finds wrong, or the reader's crash, fails the case.
    [[ $env != *E2E_MEMCHECK* ]] || python3 "$state/read_results.py" memcheck "$dir/memcheck.xml" \
        "$state/${E2E_PROGRAM##*/}" &>>"$dir/failure" || fail "read_results.py memcheck: exit $?"
    [[ $rc == "$code" ]] || fail "exit $rc, expected $code"
    [[ $out =~ ^${pattern[$out_name]}$ ]] || fail "stdout does not match the pattern $out_name"
    [[ $err =~ ^${pattern[$err_name]}$ ]] || fail "stderr does not match the pattern $err_name"
    [[ -s $dir/failure ]] || return 0
    cat "$dir/failure" && printf -- '--- stdout\n%s\n--- stderr\n%s\n' "$out" "$err"
    # The case's files (picture, streams, frame counts, memcheck's report) kept under the build folder.
    mkdir -p "$kept" && find "$dir" -maxdepth 1 -type f -exec cp -t "$kept" {} + 2>/dev/null; echo "the case's files: $kept"
    return 1
}

# Writes the case's shader file of stage $2 (vert or frag) by kind $1.
make_shader() { local good=$here/../Tarvelin/Shaders/shadername.$2 && "shader_$1" "$dir/Tarvelin/Shaders/shadername.$2"; }

# The words of the table's columns, a line each: COLUMN WORD (variable: those read from the environment).
words() {
    local file && for file in "$here"/desktops/*.sh; do [[ $file == */interface.sh ]] || echo "desktop $(basename "$file" .sh)"; done
    compgen -A function shader_ | sed 's/^shader_/kind /' && compgen -A function ending_ | sed 's/^ending_/ending /'
    printf 'pattern %s\n' "${!pattern[@]}" && printf 'variable %s\n' E2E_TIME E2E_MEMCHECK E2E_BREAK E2E_CLOSE
}

case $2 in
start) skip_unless_installed "${needs[@]}" && start ;;
stop) stop ;;
words) words ;;
*) skip_unless_installed "${needs[@]}" && state=$(cat "$E2E_STATE") && run_case "${@:2}" ;;
esac
