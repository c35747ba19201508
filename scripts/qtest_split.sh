#!/usr/bin/env bash
# Runs part i of n of a Qt Test suite that knows nothing of parts:
#   qtest_split.sh i n SUITE [ARG...]
# Its rows (function:tag, or the function where it has no rows), as -datatags lists them,
# are dealt out in turn: part i takes rows i, i+n, i+2n, ...
set -euo pipefail
index=$1 count=$2
shift 2
if ((count < 1 || index < 1 || index > count)); then
    echo "qtest_split.sh: part $index of $count does not exist" >&2
    exit 2
fi
suite=$1
shift
listing=$("$suite" -datatags)
selected=()
row=0
while IFS= read -r line; do
    [[ -n "$line" ]] || continue
    # "Class function" or "Class function tag"; a tag may hold spaces.
    rest=${line#* }
    function=${rest%% *}
    [[ "$rest" == *" "* ]] && item="$function:${rest#* }" || item=$function
    ((row % count == index - 1)) && selected+=("$item")
    row=$((row + 1))
done <<<"$listing"
if ((${#selected[@]} == 0)); then
    echo "qtest_split.sh: $suite lists no rows for part $index of $count" >&2
    exit 1
fi
exec "$suite" "${selected[@]}" "$@"
