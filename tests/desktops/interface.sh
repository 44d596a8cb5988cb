# The hooks' defaults, sourced before a desktop's file (docs/testing.md#adding-a-desktop), and what
# i3 and sway share.

# The window commands in the language of i3, which sway speaks too.
declare -A i3_command=([close]=kill [other-workspace]="move to workspace 2"
    [minimise]="move scratchpad" [show]="scratchpad show, floating disable" [fullscreen]="fullscreen toggle")
# Set where the program runs natively on Wayland; elsewhere the frame-rate rows are skipped.
native_wayland=
# A keyboard on the seat for the whole run, where the seat has none of its own.
keyboard_on_seat() { :; }
release_keys() { :; } # lets go of the keys that press held
# Changes `launch`, the command that starts the program, and `runner`, before the program. The slow
# unwinder, for libwayland 1.23 on, without frame pointers; Debian 12's llvmpipe would deadlock in it.
launch_options() {
    [[ -z $native_wayland ]] && return
    launch=(env -u DISPLAY "${launch[@]:1}" LD_LIBRARY_PATH="$state/glfw-wayland")
    [[ -n ${LSAN_OPTIONS:-} ]] &&
        dpkg --compare-versions "$(dpkg-query -W -f='${Version}' libwayland-client0)" ge 1.23 &&
        launch+=(ASAN_OPTIONS="${ASAN_OPTIONS:-}:fast_unwind_on_malloc=0")
}
