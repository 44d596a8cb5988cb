#!/usr/bin/env bash
# Builds the program and its tests twice, plainly in build/ and with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize/, and the program for Windows, and runs every test
# in both builds (the Windows program under Wine in the plain one), on a virtual X server when
# there is no display. A release without Wine or mingw-w64 goes without the Windows build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests
# The Windows build, which the tests run under Wine, where the release has Wine and mingw-w64.
windows_program=$PWD/bin/tarvelin.exe status=0
scripts/build-windows.sh >/dev/null || status=$?
[[ $status == 3 ]] && windows_program= # install-deps.sh has said what is missing
[[ $status == 0 || $status == 3 ]] || exit "$status"
cmake -S . -B build -DBUILD_TESTING=ON -DTARVELIN_WINDOWS_PROGRAM="$windows_program" >/dev/null
cmake --build build -j"$(nproc)"
cmake -S . -B build-sanitize -DBUILD_TESTING=ON -DTARVELIN_SANITIZE=ON -DTARVELIN_BIN_DIR="$PWD/build-sanitize/bin" >/dev/null
cmake --build build-sanitize -j"$(nproc)"

# Every test must run here: one whose desktop or tool is missing fails rather than being skipped.
export TARVELIN_ALL_TESTS=1

# Cases of different desktops side by side (a desktop's own one at a time; a frame rate alone).
jobs=-j$(nproc)
tests="ctest --test-dir build $jobs --output-on-failure && ctest --test-dir build-sanitize $jobs --output-on-failure"
if [[ -n ${DISPLAY:-} ]]; then
    exec bash -c "$tests"
fi
# -noreset: by default the X server resets each time its last client leaves, and a test that
# connects at that moment is refused ("Failed to open display").
exec xvfb-run -a -s "-noreset -screen 0 1024x1024x24" bash -c "$tests"
