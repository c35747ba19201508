#!/usr/bin/env bash
# Builds the flight-log parser fuzzer with clang (libFuzzer, ASan, UBSan; fuzz/CMakeLists.txt)
# into <builddir>/fuzz and runs it for a bounded time over a generated seed corpus.
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

# fuzz/CMakeLists.txt: the parser library and the log generator, built by CMake with clang.
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$top/fuzz" -B "$out/build" "${generator[@]}" "${launcher[@]}" \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE= >/dev/null
cmake --build "$out/build" --target parse_fuzzer make_seeds -j "${KELO_FUZZ_JOBS:-4}"
cp "$out/build/parse_fuzzer" "$out/build/make_seeds" "$out/"
"$out/make_seeds" "$out/seeds"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# -timeout catches hangs; every finding makes libFuzzer exit non-zero.
"$out/parse_fuzzer" "$out/corpus" "$out/seeds" -max_total_time="$seconds" -timeout=10 \
    -max_len=8192 -rss_limit_mb=2048 -artifact_prefix="$out/artifacts/" -print_final_stats=1
