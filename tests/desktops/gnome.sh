# shellcheck disable=SC2016 # JavaScript in single quotes
# GNOME Shell, headless on a 1280 x 1024 virtual monitor with D-Bus buses of its own, driven through
# its JavaScript (--unsafe-mode); the program runs through Xwayland on GLFW 3.3, natively on 3.4.
dpkg --compare-versions "$(dpkg-query -W -f='${Version}' libglfw3)" ge 3.4 && native_wayland=1

start_desktop() {
    local home=$desk/home no_x11=()
    [[ -z $native_wayland ]] || no_x11=(--no-x11)
    echo "export HOME=$home XDG_RUNTIME_DIR=$home WAYLAND_DISPLAY=wayland-0 \
DBUS_SESSION_BUS_ADDRESS=unix:path=$home/bus DBUS_SYSTEM_BUS_ADDRESS=unix:path=$home/system-bus" >"$desk/env"
    source "$desk/env"
    # Xwayland's socket goes there, and it must be open to every user.
    [[ -n $native_wayland || $(id -u) != 0 ]] || install -d -m 1777 /tmp/.X11-unix
    # gnome-shell asks the system bus for the login manager, and ends without one: an empty bus does.
    as_part_of_desktop "${as_user[@]}" dbus-daemon --session --nofork --address="$DBUS_SYSTEM_BUS_ADDRESS"
    as_part_of_desktop "${as_user[@]}" dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"
    wait_for test -S "$home/bus" -a -S "$home/system-bus" || return
    as_part_of_desktop "${as_user[@]}" gnome-shell --headless --wayland --virtual-monitor 1280x1024 \
        --unsafe-mode "${no_x11[@]}"
    wait_for eval '[[ $(shell_eval Main.layoutManager._startingUp) == false ]]' 2>/dev/null || return
    # The overview, which would take the keys, hidden whenever it shows (GNOME 50: after startup
    # too); the tools below, in e2e. A new virtual device loses what it is sent until the shell has
    # set it up (GNOME 50: for longer), so both are used until the shell sees what they send.
    shell_eval 'const {Clutter, GLib} = imports.gi, now = GLib.get_monotonic_time; Main.overview.hide();
        Main.overview.connect("shown", () => Main.overview.hide());
        const seat = Clutter.get_default_backend().get_default_seat();
        const keyboard = seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        const pointer = seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
        globalThis.e2e = {
            window: test => global.get_window_actors().map(a => a.meta_window).find(test),
            key: (name, state) => keyboard.notify_keyval(now(), Clutter[`KEY_${name}`], Clutter.KeyState[state]),
            move: (x, y) => pointer.notify_absolute_motion(now(), x, y),
            click: () => ["PRESSED", "RELEASED"].map(state =>
                pointer.notify_button(now(), Clutter.BUTTON_PRIMARY, Clutter.ButtonState[state])),
            keys_seen: 0,
        };
        global.stage.connect("captured-event", (stage, event) => {
            e2e.keys_seen += event.type() == Clutter.EventType.KEY_PRESS;
            return Clutter.EVENT_PROPAGATE;
        })' >/dev/null || return
    wait_for keyboard_set_up && wait_for pointer_at 1 1000 || return
    [[ -n $native_wayland ]] && return
    local display && display=$(shell_eval 'imports.gi.GLib.getenv("DISPLAY")') || return
    echo "export DISPLAY=$display XAUTHORITY=$(echo "$home"/.mutter-Xwaylandauth.*)" >>"$desk/env"
}

# The session's D-Bus outlives a crash of the shell (GLib ends a program whose session bus goes).
display_server=gnome-shell needs=(gnome-shell:gnome-shell dbus-daemon:dbus gdbus:libglib2.0-bin)
[[ -n $native_wayland ]] || needs+=(Xwayland:xwayland) window_needs=(xdotool:xdotool) # for its pointer

# Runs JavaScript $1 in the shell and prints its value, if any (strings in JSON's quotes).
shell_eval() {
    local reply && reply=$("${as_user[@]}" gdbus call --session --dest org.gnome.Shell \
        --object-path /org/gnome/Shell --method org.gnome.Shell.Eval "$1") && [[ $reply == "(true, '"* ]] &&
        reply=${reply#"(true, '"} reply=${reply%"')"} && printf "%s${reply:+\\n}" "$reply"
}
# Runs JavaScript $1 with the program's window as `w`.
in_window() { shell_eval "const w = e2e.window(w => w.get_id() == $window); $1"; }

find_window() { window=$(shell_eval "e2e.window(w => w.get_title() === '$title')?.get_id() ?? 0") && [[ $window != 0 ]]; }
hidden() {
    [[ $(in_window '!w.showing_on_its_workspace() ||
        !w.located_on_workspace(global.workspace_manager.get_active_workspace())') == true ]]
}
window_command() {
    local -A command=([close]='w.delete(global.get_current_time())'
        [other-workspace]='w.change_workspace_by_index(1, false)' [minimise]='w.minimize()'
        [show]='w.unminimize(); w.activate(global.get_current_time())')
    in_window "${command[$1]}"
}
# The window's content: its buffer within the frame, written to a folder of the shell's user.
# shellcheck disable=SC2086 # the shell's answer, split into its numbers
take_picture() {
    local area && area=$(in_window 'const [, r] = w.get_buffer_rect().intersect(
        w.frame_rect_to_client_rect(w.get_frame_rect())); [r.x, r.y, r.width, r.height].join(" ")') &&
        "${as_user[@]}" gdbus call --session --dest org.gnome.Shell.Screenshot --object-path \
            /org/gnome/Shell/Screenshot --method org.gnome.Shell.Screenshot.ScreenshotArea \
            ${area//\"/} false "$desk/home/picture.png" >/dev/null && mv "$desk/home/picture.png" "$1"
}
# Presses key $1 (an X keysym name) on the window, with $2 (hold) held down until release_keys.
press() {
    local release="e2e.key('$1', 'RELEASED')" && [[ $# == 2 ]] && release=
    in_window "w.activate(global.get_current_time()); e2e.key('$1', 'PRESSED'); $release"
}
release_keys() { shell_eval 'e2e.key("Escape", "RELEASED")'; }
# Clicks the close button of the title bar that GNOME (on Xwayland) or libdecor (on Wayland) draws,
# on Xwayland once Xwayland has the pointer there: else 1 click in 3 lands where it was before.
# shellcheck disable=SC2086 # the shell's answer, split into its numbers
click_close_button() {
    local at && at=$(in_window 'const f = w.get_frame_rect(); [f.x + f.width - 19, f.y + 18].join(" ")') &&
        wait_for pointer_at ${at//\"/} || return
    [[ -n $native_wayland ]] || wait_for xwayland_pointer_at ${at//\"/} || return
    shell_eval 'e2e.click()' >/dev/null
}
# Types Shift, and tells whether the shell has seen a key yet.
keyboard_set_up() {
    [[ $(shell_eval 'e2e.key("Shift_L", "PRESSED"); e2e.key("Shift_L", "RELEASED"); e2e.keys_seen') != 0 ]]
}
# Moves the pointer to $1, $2, and tells whether the shell has it there.
pointer_at() { shell_eval "e2e.move($1, $2); global.get_pointer().slice(0, 2).join(' ')" | grep -qx "\"$1 $2\""; }
xwayland_pointer_at() { [[ $(xdotool getmouselocation --shell | head -n 2 | tr '\n' ' ') == "X=$1 Y=$2 " ]]; }
# The name in the top bar and the window switcher: the X11 class, or (on Wayland) the app id.
named_tarvelin() { [[ $(in_window 'w.get_wm_class()') == '"tarvelin"' ]]; }
