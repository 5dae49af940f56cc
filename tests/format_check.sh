#!/usr/bin/env bash
# Every C and C++ file of the tree as clang-format lays it out, and no line
# beyond its column limit: clang-format leaves a line it cannot break (a long
# braced list) as long as it is, and says nothing.
# Usage: format_check.sh CLANG_FORMAT SOURCE_DIR
set -euo pipefail
clang_format=$1
cd "$2"
limit=$(awk '$1 == "ColumnLimit:" { print $2 }' .clang-format)
mapfile -t files < <(find . \( -path './build*' -o -path ./out -o -path ./.git \) -prune -o \
    -type f \( -name '*.cpp' -o -name '*.c' -o -name '*.h' \) -print | sort)
status=0
"$clang_format" --dry-run --Werror "${files[@]}" || status=1
long=$(awk -v limit="$limit" 'length > limit { print FILENAME ":" FNR ": " length " columns" }' \
    "${files[@]}")
if [ -n "$long" ]; then
    printf 'beyond %s columns:\n%s\n' "$limit" "$long"
    status=1
fi
[ "$status" -ne 0 ] || echo "${#files[@]} files formatted, none beyond $limit columns"
exit "$status"
