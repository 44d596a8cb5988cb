# KWin, KDE Plasma's compositor, headless on a 1280 x 1024 virtual output with two virtual desktops,
# in a D-Bus session bus of its own, driven through its scripting interface. The program runs
# natively on Wayland (on Debian 12 on GLFW 3.3's Wayland build), and KWin draws its title bar.
# KWin offers no keyboard to a program it has not authorised, so no case here types a key.

start_desktop() {
    local home=$desk/home
    echo "export HOME=$home XDG_RUNTIME_DIR=$home WAYLAND_DISPLAY=kwin \
DBUS_SESSION_BUS_ADDRESS=unix:path=$home/bus" >"$desk/env"
    source "$desk/env"
    mkdir -p "$home/.config" && printf '[Desktops]\nNumber=2\nRows=1\n' >"$home/.config/kwinrc" &&
        chown -R "$user" "$home/.config" || return
    # Debian's binary carries a file capability, which a container refuses to run; a copy has none.
    install -m 755 /usr/bin/kwin_wayland "$desk/kwin_wayland" || return
    as_part_of_desktop "${as_user[@]}" dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"
    wait_for test -S "$home/bus" || return
    as_part_of_desktop "${as_user[@]}" "$desk/kwin_wayland" --virtual --width 1280 --height 1024 \
        --no-lockscreen --socket kwin
    wait_for kwin_eval '"up"' >/dev/null
}
display_server=kwin_wayland native_wayland=1

# Runs JavaScript expression $1 in KWin and prints its value as JSON. The script prints it to KWin's
# standard error, the desktop's log, behind a mark of its own. `windows` are KWin's windows, and
# `kwin5` tells KWin 5, which numbers its virtual desktops, from KWin 6, which has them as objects.
kwin_eval() {
    local mark=e2e-$BASHPID-$RANDOM script=$desk/home/e2e.js bus=(dbus-send --session --print-reply
        --dest=org.kde.KWin /Scripting org.kde.kwin.Scripting) && echo "const kwin5 = typeof workspace.desktops == 'number',
        windows = kwin5 ? workspace.clientList() : workspace.windowList(); print('$mark', JSON.stringify($1));" >"$script" &&
        "${as_user[@]}" "${bus[@]}.loadScript" "string:$script" "string:$mark" >/dev/null 2>&1 &&
        "${as_user[@]}" "${bus[@]}.start" >/dev/null && wait_for grep -q "$mark " "$desk/log"
    "${as_user[@]}" "${bus[@]}.unloadScript" "string:$mark" >/dev/null 2>&1
    local reply && reply=$(grep -o "$mark .*" "$desk/log") && echo "${reply#"$mark "}"
}
# Runs JavaScript expression $1 with the program's window as `w`.
in_window() { kwin_eval "(w => $1)(windows.find(w => w.internalId == '$window'))"; }

find_window() {
    window=$(kwin_eval "windows.filter(w => w.caption == '$title').map(w => w.internalId).join()") &&
        window=${window//\"/} && [[ -n $window ]]
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
# The name in the task manager: the Wayland app id, or where the window library sets none (GLFW
# 3.3), the program file's name.
named_tarvelin() { [[ $(in_window 'w.resourceClass') == '"tarvelin"' ]]; }
# KWin's own title bar over an 800 x 800 client area: the frame reaches above the client's top.
framed_by_title_bar() {
    [[ $(in_window '[w.frameGeometry, w.clientGeometry || w.bufferGeometry].map(r => [r.x, r.y, r.width, r.height])') =~ \
        ^\[\[([0-9]+),([0-9]+),([0-9]+),([0-9]+)\],\[([0-9]+),([0-9]+),800,800\]\]$ ]] &&
        ((BASH_REMATCH[2] + 20 <= BASH_REMATCH[6] && BASH_REMATCH[1] <= BASH_REMATCH[5] && BASH_REMATCH[3] >= 800))
}
