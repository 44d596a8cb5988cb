# sway, headless, with no input device but wtype's keyboard; GLFW 3.3's Wayland build on Debian 12.

start_desktop() {
    echo "export XDG_RUNTIME_DIR=$desk/home WAYLAND_DISPLAY=wayland-1 SWAYSOCK=$desk/home/sway" >"$desk/env"
    source "$desk/env"
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        as_part_of_desktop "${as_user[@]}" sway -c "$state/sway.config"
    wait_for swaymsg -q -t get_version 2>/dev/null
}
display_server=sway native_wayland=1 needs=(sway:sway) window_needs=(jq:jq wtype:wtype grim:grim)

sway_window() { swaymsg -t get_tree | jq -r --arg t "$title_pattern" ".. | objects | select(.name? // \"\" | test(\$t)) | $1"; }
find_window() { window=$(sway_window .id) && [[ -n $window ]]; }
hidden() { [[ $(sway_window .visible) == false ]]; }
window_command() { swaymsg -q "[con_id=$window] ${i3_command[$1]}"; }
take_picture() { grim -g "$(sway_window '.rect | "\(.x),\(.y) \(.width)x\(.height)"')" "$1"; }
# The seat has a keyboard only while a wtype runs: one for the whole run, unless the case says.
keyboard_on_seat() { wtype -s 600000 -k Shift_L & }
press() { if [[ $# == 2 ]]; then wtype -P "$1" -s 60000 & else wtype -k "$1"; fi; }
