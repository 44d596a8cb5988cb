# KWin's X11 session (Plasma's default on Debian 12): KWin as the window manager and compositor of
# a bare X server, driven by the scripts of KWin's Wayland session; keys and pictures through X.
source "$here/desktops/x11.sh"
source "$here/desktops/kwin.sh"

start_desktop() {
    start_x_server && start_session_bus && as_part_of_desktop "${as_user[@]}" kwin_x11 --replace &&
        wait_for kwin_eval '"up"' >/dev/null
}
display_server=Xvfb native_wayland='' needs=(Xvfb:xvfb kwin_x11:kwin-x11 dbus-daemon:dbus dbus-send:dbus)

# The X window, for the keys and the picture, and KWin's, for the window commands.
find_window() { window=$(xdotool search --name "$title_pattern") && find_kwin_window; }
# KWin 5 shows its scripts no client area on X11: the X window's own geometry is that area.
client_area() { xdotool getwindowgeometry --shell "$window" | sed -nE 's/^(X|Y|WIDTH|HEIGHT)=/\L\1: /p' | paste -sd, | sed 's/.*/{&}/'; }
