#!/usr/bin/env bash
# Checks the code before a commit, as the tests' lint case does: the shell scripts as shellcheck
# wants them, the C++ as .clang-format lays it out, and the documents as scripts/check-docs.sh
# checks them. Where shellcheck or clang-format is missing it says which, and checks nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/skip.sh
skip_unless_installed shellcheck:shellcheck clang-format:clang-format
shellcheck .ci/run {scripts,tests,tests/desktops}/*.sh
clang-format --dry-run --Werror {Tarvelin,tests,bench,scripts}/*.cpp Tarvelin/*.h
bash scripts/check-docs.sh
