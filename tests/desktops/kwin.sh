# KWin's Wayland session, headless on a 1280 x 1024 output with two virtual desktops and a session
# bus of its own, driven by scripts; the program runs natively on Wayland. No case types (KWin lets
# only authorised programs type) or takes a picture (KWin 6's screenshots need a GPU's OpenGL).

start_desktop() {
    echo "export WAYLAND_DISPLAY=kwin" >"$desk/env" && start_session_bus || return
    # A copy of KWin, whose file capability a container refuses to grant.
    install -m 755 /usr/bin/kwin_wayland "$desk/" &&
        as_part_of_desktop "${as_user[@]}" "$desk/kwin_wayland" --virtual --width 1280 --height 1024 \
            --no-lockscreen --socket kwin
    wait_for kwin_eval '"up"' >/dev/null
}
# Adds a session bus of its own and KWin's settings (two virtual desktops) to the desktop's env.
start_session_bus() {
    local home=$desk/home
    echo "export HOME=$home XDG_RUNTIME_DIR=$home DBUS_SESSION_BUS_ADDRESS=unix:path=$home/bus" >>"$desk/env" &&
        source "$desk/env" && mkdir "$home/.config" && printf '[Desktops]\nNumber=2\n' >"$home/.config/kwinrc" &&
        chown -R "$user" "$home/.config" || return
    as_part_of_desktop "${as_user[@]}" dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"
    wait_for test -S "$home/bus"
}
display_server=kwin_wayland native_wayland=1 needs=(kwin_wayland:kwin-wayland dbus-daemon:dbus dbus-send:dbus)

# Runs JavaScript expression $1 in KWin and prints its value as JSON, from a script that prints it
# to the log behind a mark. `windows` are KWin's windows; `kwin5` tells KWin 5 (numbered desktops).
kwin_eval() {
    local mark=e2e-$BASHPID-$RANDOM reply scripting=(dbus-send --session --print-reply --dest=org.kde.KWin /Scripting)
    echo "const kwin5 = typeof workspace.desktops == 'number',
        windows = kwin5 ? workspace.clientList() : workspace.windowList(); print('$mark', JSON.stringify($1));" >"$desk/home/e2e.js"
    "${as_user[@]}" "${scripting[@]}" org.kde.kwin.Scripting.loadScript "string:$desk/home/e2e.js" "string:$mark" &>/dev/null &&
        "${as_user[@]}" "${scripting[@]}" org.kde.kwin.Scripting.start >/dev/null && wait_for grep -q "$mark " "$desk/log"
    "${as_user[@]}" "${scripting[@]}" org.kde.kwin.Scripting.unloadScript "string:$mark" &>/dev/null
    reply=$(grep -o "$mark .*" "$desk/log") && echo "${reply#"$mark "}"
}
# Runs JavaScript expression $1 with the program's window as `w`.
in_window() { kwin_eval "(w => $1)(windows.find(w => w.internalId == '$kwin_window'))"; }

find_window() { find_kwin_window; }
find_kwin_window() {
    kwin_window=$(kwin_eval "windows.filter(w => w.caption == '$title').map(w => w.internalId).join()") &&
        kwin_window=${kwin_window//\"/} && [[ -n $kwin_window ]]
}
hidden() {
    [[ $(in_window 'w.minimized || !(kwin5 ? w.desktop == workspace.currentDesktop :
        w.desktops.includes(workspace.currentDesktop))') == true ]]
}
window_command() {
    local -A command=([close]='w.closeWindow()' [minimise]='w.minimized = true' [show]='w.minimized = false'
        [other-workspace]='kwin5 ? w.desktop = 2 : w.desktops = [workspace.desktops[1]]')
    in_window "${command[$1]}" >/dev/null
}
# The name in the task manager: the Wayland app id, or where GLFW 3.3 sets none, the program's file.
named_tarvelin() { [[ $(in_window 'w.resourceClass') == '"tarvelin"' ]]; }
# KWin's own title bar: the frame reaches 20 pixels or more above the 800 x 800 client area.
framed_by_title_bar() {
    [[ $(in_window "((f, c) => c.width == 800 && c.height == 800 && f.y + 20 <= c.y && f.x <= c.x &&
        f.x + f.width >= c.x + c.width)(w.frameGeometry, $(client_area))") == true ]]
}
client_area() { echo 'w.clientGeometry || w.bufferGeometry'; } # the window's own, within the frame
