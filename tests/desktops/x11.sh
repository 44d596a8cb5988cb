# A bare X server (Xvfb), 1280 x 1024, with no window manager. The tools that end_to_end.sh uses.

start_x_server() {
    # -noreset: else the server resets when its last client leaves, refusing any that connects then.
    as_part_of_desktop Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3>"$desk/display"
    # Run from a Wayland session, GLFW 3.4 would open the window there: it is told of X alone.
    wait_for test -s "$desk/display" &&
        echo "export DISPLAY=:$(cat "$desk/display"); unset WAYLAND_DISPLAY" >"$desk/env" && source "$desk/env"
}
start_desktop() { start_x_server; }
display_server=Xvfb needs=(Xvfb:xvfb) window_needs=(xdotool:xdotool import:imagemagick)

find_window() { window=$(xdotool search --name "$title_pattern"); }
# Out of view: the window is there, and not among those shown (an xdotool that fails tells neither).
hidden() { xdotool getwindowname "$window" >/dev/null && ! xdotool search --onlyvisible --name "$title_pattern" >/dev/null; }
take_picture() { import -window "$window" "$1"; }
press() { xdotool windowfocus --sync "$window" "key${2:+down}" "$1"; }
release_keys() { xdotool keyup Escape; }
# The window's X11 class and instance, by which desktops name it.
named_tarvelin() {
    [[ $(xdotool search --class '^tarvelin$') == "$window" && $(xdotool search --classname '^tarvelin$') == "$window" ]]
}
