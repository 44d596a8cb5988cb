# shellcheck shell=bash
# skip REASON: ends the test as skipped, saying why; or, where every test must run (the variable
# TARVELIN_ALL_TESTS set, as scripts/test.sh sets it), as failed.
skip() {
    [[ -n ${TARVELIN_ALL_TESTS:-} ]] && echo "$1" && exit 1
    echo "skipped: $1" && exit 0
}
# skip_unless_installed PROGRAM:PACKAGE...: skips the test unless each PROGRAM is installed, naming
# the first one missing and its Debian package.
skip_unless_installed() {
    local need
    for need; do
        command -v "${need%%:*}" >/dev/null || skip "${need%%:*} is not installed (package ${need#*:})"
    done
}
