#!/usr/bin/env bash
# Builds the program and its tests and runs them all, on a virtual X server when there is no
# display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests
cmake -S . -B build -DBUILD_TESTING=ON >/dev/null
cmake --build build -j"$(nproc)"

ctest=(ctest --test-dir build --output-on-failure)
if [[ -n ${DISPLAY:-} ]]; then
    exec "${ctest[@]}"
fi
exec xvfb-run -a -s "-screen 0 1024x1024x24" "${ctest[@]}"
