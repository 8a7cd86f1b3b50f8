#!/bin/sh
# man-page-test.sh PROGRAM PAGE: every option PROGRAM --help lists heads a tagged paragraph of
# its own in the man page PAGE.
set -eu
options=$("$1" --help | sed -n 's/^  \(-h, \)\{0,1\}--\([a-z][a-z-]*\).*/\2/p')
[ -n "$options" ] || { echo "$1 --help listed no options"; exit 1; }
tagged=$(grep -A1 -x '[.]TP' "$2")
missing=0
for option in $options; do
    roff=$(printf '\\fB\\-\\-%s\\fR' "$(printf %s "$option" | sed 's/-/\\-/g')")
    if ! printf '%s\n' "$tagged" | grep -qF -- "$roff"; then
        echo "--$option is not in the man page $2"
        missing=1
    fi
done
exit $missing
