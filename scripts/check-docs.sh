#!/usr/bin/env bash
# Checks the links of README.md and of the documents in docs/: each relative link names a file that
# exists, and a link to a heading (FILE.md#heading) one that the file has; and that every line the
# program prints, and every line the scripts print on standard error, is explained in
# docs/troubleshooting.md; and that docs/testing.md lists the words of the tests' case table that
# the tests' harness knows, no more and no fewer. Prints each fault and exits with 1 if there is one. With --commands it
# lists instead the lines of the documents' indented code blocks (the commands they show), each
# after its file and line, to be run by hand.
#   bash scripts/check-docs.sh [--commands]
set -euo pipefail
cd "$(dirname "$0")/.."

# The anchors that a file's headings get: lower case, spaces as dashes, other punctuation dropped.
anchors() { sed -n 's/^#\{1,6\} //p' "$1" | tr '[:upper:] ' '[:lower:]-' | tr -cd 'a-z0-9_\n-'; }

status=0
for doc in README.md docs/*.md; do
    if [[ ${1:-} == --commands ]]; then
        awk -v doc="$doc" '/^    [^ -]/ && (previous == "" || previous ~ /^    /) { print doc ":" NR ": " substr($0, 5) }
            { previous = $0 }' "$doc"
        continue
    fi
    while read -r link; do
        target=${link%%#*} anchor=${link#*#}
        [[ $link == *#* ]] || anchor=
        file=$(dirname "$doc")/$target && [[ -n $target ]] || file=$doc
        if [[ ! -e $file ]] || { [[ -n $anchor ]] && ! anchors "$file" | grep -qxF "$anchor"; }; then
            echo "$doc: broken link: $link" >&2
            status=1
        fi
    done < <(grep -o '](\([^)]*\))' "$doc" | sed 's/^](//; s/)$//' | grep -v '^[a-z]*:' || true)
done
[[ ${1:-} == --commands ]] && exit 0

# Every line the program prints, each text the sources write between its varying parts, stands
# in docs/troubleshooting.md: the texts streamed with << and the lines returned as they stand.
# So does every line a script echoes to standard error: each of its fixed parts, between the
# variables, of six characters or more.
explained() { # SOURCE: reads the texts, one a line
    while IFS= read -r text; do
        grep -qF -- "$text" docs/troubleshooting.md ||
            { echo "docs/troubleshooting.md: \"$text\" is printed by $1 but not explained" >&2 && status=1; }
    done
}
explained Tarvelin/ < <(grep -ohE '(<<|return) "[^"]+"' Tarvelin/*.cpp | sed -E 's/^(<<|return) "//; s/"$//')
explained scripts/ < <(grep -ohE 'echo "([^"\\]|\\.)*"[^#]*>&2' scripts/*.sh | sed -E 's/^echo "//; s/"[^"]*$//; s/\\"/"/g' |
    sed -E 's/[$](\{[^}]*\}|\([^)]*\)|[A-Za-z_0-9]+)/\n/g' | sed -E 's/^ +| +$//g' | grep -E '.{6}')

# The words of the case table: as the harness lists them, and as the table in docs/testing.md does.
# shellcheck disable=SC2016 # Markdown's backquotes, not the shell's
if ! diff <(bash tests/end_to_end.sh - words | sort) \
    <(sed -nE 's/^\| ([a-z]+) \| `([^`]+)` \|.*/\1 \2/p' docs/testing.md | sort) >&2; then
    echo "docs/testing.md: the table's words differ from the harness's (< the harness, > the document)" >&2
    status=1
fi
exit "$status"
