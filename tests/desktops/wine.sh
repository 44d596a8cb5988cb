# The Windows build under Wine, on i3, with a Wine prefix of its own.
source "$here/desktops/i3.sh"

start_desktop() {
    start_x_server && start_i3 || return
    (source "$desk/env" && export HOME=$desk/home WINEDEBUG=-all &&
        "${as_user[@]}" wineboot --init && "${as_user[@]}" wineserver --wait) &>/dev/null
}
needs+=(wine:wine)
# Nothing is preloaded. Mesa draws on the main thread: its threads could fault as Wine ends (1 in 80).
# cmd passes on the program's exit code, which a kill by wineserver (137) would hide: the cases signal
# the program itself, found by its window. Wine's server, which outlives it, is part of the desktop.
launch_options() { launch=(env HOME="$desk/home" WINEDEBUG=-all LP_NUM_THREADS=0 E2E_DESKTOP="$desk") runner=(wine cmd /c); }
find_window() { window=$(xdotool search --name "$title_pattern") && pid=$(xdotool getwindowpid "$window"); }
