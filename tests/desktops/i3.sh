# i3 on a bare X server, tiling the window to fill the 1280 x 1024 screen.
source "$here/desktops/x11.sh"

start_i3() { as_part_of_desktop i3 -c "$here/i3.config" && wait_for i3-msg -q nop 2>/dev/null; }
start_desktop() { start_x_server && start_i3; }
needs+=(i3:i3-wm)

window_command() { i3-msg -q "[id=$window] ${i3_command[$1]}"; }
