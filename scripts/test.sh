#!/usr/bin/env bash
# Sets up, builds and runs every test suite inside a private network namespace, twice:
#   build/test          AddressSanitizer + UndefinedBehaviorSanitizer (with the parser fuzzer)
#   build/release-test  the optimised Release build, as users get it: timing races that
#                       the slower sanitizer build hides show up here
# Refuses to run the tests without a namespace. Arguments go to ctest (e.g. -R radio);
# KELO_TEST_BUILDS="test" or "release-test" runs one build only.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
builds=${KELO_TEST_BUILDS:-"test release-test"}

if [[ -z "${KELO_TEST_INNER:-}" ]]; then
    "$top/scripts/setup.sh"
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    for b in $builds; do
        case $b in
        test)
            cmake -S "$top" -B "$top/build/test" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
                -DKELO_SANITIZE=ON -DKELO_BUILD_TESTS=ON -DKELO_BUILD_BENCH=ON \
                "${launcher[@]}" >/dev/null ;;
        release-test)
            # The fuzzer builds its own sanitizer binary: once, in the test build, is enough.
            cmake -S "$top" -B "$top/build/release-test" -G Ninja -DCMAKE_BUILD_TYPE=Release \
                -DKELO_BUILD_TESTS=ON -DKELO_FUZZ_TEST=OFF "${launcher[@]}" >/dev/null ;;
        *)
            echo "test.sh: unknown build '$b' in KELO_TEST_BUILDS" >&2
            exit 2 ;;
        esac
        cmake --build "$top/build/$b" -j "$(nproc)"
    done
    exec env KELO_TEST_INNER=netns KELO_TEST_BUILDS="$builds" "$top/scripts/netns.sh" --no-lan "$0" "$@"
fi
# The suites that render the 3D scene draw on an X server of the tests' own.
if [[ "$KELO_TEST_INNER" == netns ]]; then
    exec env KELO_TEST_INNER=x "$top/scripts/xvfb.sh" "$0" "$@"
fi
unset KELO_TEST_INNER

# Qt honours these; test traffic goes straight to the fakes.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY ftp_proxy FTP_PROXY no_proxy NO_PROXY

export XDG_RUNTIME_DIR=$(mktemp -d)
export LIBGL_ALWAYS_SOFTWARE=1

status=0
for b in $builds; do
    echo "== $b"
    (cd "$top/build/$b" && ctest --output-on-failure -j "$(nproc)" "$@") || status=1
done
exit $status
