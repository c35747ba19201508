#!/usr/bin/env bash
# Builds the flight-log parser fuzzer with clang (libFuzzer, ASan, UBSan) into
# <builddir>/fuzz and runs it for a bounded time over a generated seed corpus.
# Usage: fuzz/run.sh <builddir> [seconds=60]. Exits non-zero on any finding.
set -euo pipefail
if [[ $# -lt 1 ]]; then
    echo "usage: $0 <builddir> [seconds]" >&2
    exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)
out="$(mkdir -p "$1" && cd "$1" && pwd)/fuzz"
seconds=${2:-60}
mkdir -p "$out"
rm -rf "$out/seeds" "$out/corpus" "$out/artifacts"
mkdir -p "$out/seeds" "$out/corpus" "$out/artifacts"

qt=$(pkg-config --cflags --libs Qt5Core)
common=(-std=c++17 -g -O1 -fPIC -fno-omit-frame-pointer -I"$top/src/logformat" -I"$top/tests/logformat")
# shellcheck disable=SC2086
clang++ "${common[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    "$top/fuzz/parse_fuzzer.cpp" "$top/src/logformat/LogReader.cpp" "$top/tests/logformat/ReferenceParser.cpp" \
    $qt -o "$out/parse_fuzzer"
# shellcheck disable=SC2086
clang++ "${common[@]}" "$top/fuzz/make_seeds.cpp" "$top/tests/logformat/LogGenerator.cpp" \
    $qt -o "$out/make_seeds"
"$out/make_seeds" "$out/seeds"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# -timeout catches hangs; every finding makes libFuzzer exit non-zero.
"$out/parse_fuzzer" "$out/corpus" "$out/seeds" -max_total_time="$seconds" -timeout=10 \
    -max_len=8192 -rss_limit_mb=2048 -artifact_prefix="$out/artifacts/" -print_final_stats=1
