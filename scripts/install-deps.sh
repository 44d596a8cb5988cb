#!/usr/bin/env bash
# Installs the Debian packages needed to build and run the program, and with --tests, --windows or
# --bench those its tests, its Windows build or its benchmark need too; with --fresh-machine only
# those that scripts/fresh-machine.sh needs. Packages already installed are left alone; apt runs
# only when one is missing, as root or through sudo. Exits with 3, after one line, when the release
# has no such package; with 4, after one line that gives the command to run as root, when this
# user cannot install: not root, and sudo missing, refused, or asking for a password with no
# terminal to ask on.
set -euo pipefail

purpose="the program"
# GLFW 3.3's Wayland build, which scripts/glfw-wayland.sh unpacks, needs the Wayland libraries that
# GLFW 3.4's package depends on.
wayland=(libwayland-egl1 libwayland-cursor0 libxkbcommon0)
packages=(cmake g++ make pkg-config libglfw3-dev libglew-dev libglm-dev libwayland-dev
    libgl1-mesa-dri xvfb xauth xdotool imagemagick "${wayland[@]}")
# GLFW 3.4 (Debian 13) has libdecor draw the window's title bar on Wayland, and libdecor draws
# nothing without a plugin: the GTK one, libdecor's own choice, which looks like GNOME. GTK asks
# for the accessibility bus at every start, and warns on standard error where there is none.
# shellcheck source=/dev/null # the release's own
[[ $(. /etc/os-release && echo "$VERSION_CODENAME") == bookworm ]] ||
    packages+=(libdecor-0-plugin-1-gtk at-spi2-core)
if [[ ${1:-} == --tests ]]; then
    # i3 and sway are the tiling desktops the tests run on; wtype, grim and jq drive sway; python3
    # reads the results. GNOME Shell runs with its accessibility bus, as on a GNOME desktop, and its
    # Xwayland; KWin, in its Wayland and its X11 session, with its Breeze title bars, on a session
    # bus of its own. shellcheck and clang-format check the code.
    packages+=(libgtest-dev libx11-dev valgrind i3-wm sway wtype grim jq python3
        gnome-shell at-spi2-core xwayland kwin-wayland kwin-x11 kwin-style-breeze dbus shellcheck clang-format)
    purpose="the tests"
elif [[ ${1:-} == --windows ]]; then
    # mingw-w64's 64-bit C++ compiler alone: the package mingw-w64 adds the 32-bit one and a second
    # thread model, over half a gigabyte that nothing here uses.
    packages+=(g++-mingw-w64-x86-64-win32 wine wine64 dpkg-dev) purpose="the Windows build"
elif [[ ${1:-} == --bench ]]; then
    packages+=(valgrind mesa-utils sway jq) purpose="the benchmark"
elif [[ ${1:-} == --fresh-machine ]]; then
    packages=(debootstrap debian-archive-keyring git) purpose="a fresh machine"
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[[ ${#missing[@]} == 0 ]] && exit 0

# sudo starts apt with a clean environment: the frontend setting goes through env. sudo -v asks
# for the password where there is a terminal, and fails where this user may not use sudo.
as_root=(env DEBIAN_FRONTEND=noninteractive)
if [[ $(id -u) != 0 ]]; then
    if command -v sudo >/dev/null && { sudo -n true 2>/dev/null || { [[ -t 0 ]] && sudo -v; }; }; then
        as_root=(sudo "${as_root[@]}")
    else
        command="su -c 'apt-get update && apt-get install -y --no-install-recommends ${missing[*]}'"
        echo "As root, install what $purpose needs, then run this again: $command" >&2
        exit 4
    fi
fi
"${as_root[@]}" apt-get update -qq
# A release may lack a package for a while (Debian testing drops Wine at times): exit code 3.
unavailable=()
for package in "${missing[@]}"; do
    # grep reads to the end: one that stopped at the match could end apt-cache with SIGPIPE.
    apt-cache policy "$package" | grep 'Candidate: [^(]' >/dev/null || unavailable+=("$package")
done
if [[ ${#unavailable[@]} != 0 ]]; then
    echo "Not available on this release: ${unavailable[*]}; $purpose cannot be made here." >&2
    exit 3
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
