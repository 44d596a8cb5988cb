#!/usr/bin/env bash
# Builds the program and starts it from bin/, in the desktop session (X11 or Wayland), from
# whatever folder this script is started in. With no display, or an X display on another host (as
# SSH's X forwarding gives, which offers no OpenGL 3.2 core context), it runs on a virtual X server
# instead: see scripts/screenshot.sh. Then it names the renderer that drew.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# The program alone: build/ keeps no choice of this script's, so that a later configure and build
# by hand builds the tests too.
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target tarvelin tarvelin-renderer

if [[ -z ${WAYLAND_DISPLAY:-} && (-z ${DISPLAY:-} || ${DISPLAY:-} == ?*:*) ]]; then
    exec xvfb-run -a -s "-noreset -screen 0 1024x1024x24" scripts/screenshot.sh
fi
# GLFW 3.3 (Debian 12) is for X11: in a Wayland session without XWayland, its Wayland build.
if [[ -z ${DISPLAY:-} ]]; then
    LD_LIBRARY_PATH=$(scripts/glfw-wayland.sh) # a failed download ends the script here
    export LD_LIBRARY_PATH
fi
status=0
(cd bin && exec ./tarvelin) || status=$?
bin/tarvelin-renderer 2>/dev/null || true # a desktop that is gone by now names none
exit "$status"
