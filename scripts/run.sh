#!/usr/bin/env bash
# Builds the program and starts it from bin/, in the desktop session (X11 or Wayland). With no
# display it runs on a virtual X server instead: see scripts/screenshot.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)"

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
    # GLFW 3.3 (Debian 12) is for X11: in a Wayland session without XWayland, its Wayland build.
    if [[ -z ${DISPLAY:-} ]]; then
        LD_LIBRARY_PATH=$(scripts/glfw-wayland.sh) && export LD_LIBRARY_PATH
    fi
    cd bin
    exec ./tarvelin
fi
exec xvfb-run -a -s "-noreset -screen 0 1024x1024x24" scripts/screenshot.sh
