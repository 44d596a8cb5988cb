#!/usr/bin/env bash
# Prints the folder of a GLFW library for Wayland, for LD_LIBRARY_PATH, or nothing where the
# system's GLFW (3.4, Debian 13) runs on X11 and Wayland alike. GLFW 3.3 (Debian 12) comes as two
# packages that conflict: its Wayland build is unpacked into build/glfw-wayland, once.
set -euo pipefail
cd "$(dirname "$0")/.."

dpkg --compare-versions "$(dpkg-query -W -f='${Version}' libglfw3)" lt 3.4 || exit 0
unpacked=build/glfw-wayland
if [[ ! -d $unpacked ]]; then
    mkdir -p build && part=$(mktemp -d "$unpacked.XXXXXX")
    (cd "$part" && apt-get download libglfw3-wayland && dpkg -x libglfw3-wayland_*.deb .) >/dev/null 2>&1 ||
        { rm -rf "$part" && echo "Could not download and unpack libglfw3-wayland" >&2 && exit 1; }
    # Tests started side by side may unpack it at once: the first in place keeps it, the rest go.
    mv -T "$part" "$unpacked" 2>/dev/null || rm -rf "$part"
fi
echo "$PWD/$unpacked/usr/lib/$(gcc -print-multiarch)"
