# shellcheck shell=bash
# skip_unless_installed PROGRAM:PACKAGE...: ends the case unless each PROGRAM is installed, naming
# the first one missing and its Debian package: skipped, or failed where every case must run.
skip_unless_installed() {
    local need line
    for need; do
        command -v "${need%%:*}" >/dev/null && continue
        line="${need%%:*} is not installed (package ${need#*:})"
        [[ -n ${E2E_ALL_TESTS:-} ]] && echo "$line" && exit 1
        echo "skipped: $line" && exit 0
    done
}
