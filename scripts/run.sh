#!/usr/bin/env bash
# Builds the program and starts it from bin/. With no display it runs on a virtual X server
# instead: see scripts/screenshot.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)"

if [[ -n ${DISPLAY:-} ]]; then
    cd bin
    exec ./tarvelin
fi
exec xvfb-run -a -s "-noreset -screen 0 1024x1024x24" scripts/screenshot.sh
