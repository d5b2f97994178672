#!/bin/sh
# Every option that a program's --help lists is in its man page, and the
# man page names no option that the program lacks.
# Usage: CheckManPage.sh PROGRAM MAN_PAGE
set -eu
options() { grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
help=$(mktemp)
page=$(mktemp)
trap 'rm -f "$help" "$page"' EXIT
"$1" --help | options > "$help"
# Lines wide enough that no option is split at a line's end.
LC_ALL=C MANWIDTH=1000 man -l "$2" | col -b | options > "$page"

[ -s "$help" ] || { echo "FAILED: no option found in --help"; exit 1; }
missing=$(comm -23 "$help" "$page")
unknown=$(comm -13 "$help" "$page")
[ -z "$missing" ] || echo "FAILED: in --help, not in the man page:" $missing
[ -z "$unknown" ] || echo "FAILED: in the man page, not in --help:" $unknown
[ -z "$missing$unknown" ] && echo "ok: the man page has the $(wc -l < "$help") options of --help"
