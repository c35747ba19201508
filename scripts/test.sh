#!/usr/bin/env bash
# Sets up, builds the test build (AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# every test suite (the parser fuzzer among them), inside a private network namespace.
# Refuses to run the tests without one. Arguments go to ctest (e.g. -R radio).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/test"

if [[ -z "${KELO_TEST_INNER:-}" ]]; then
    "$top/scripts/setup.sh"
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELO_SANITIZE=ON \
        -DKELO_BUILD_TESTS=ON -DKELO_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" -j "$(nproc)"
    exec env KELO_TEST_INNER=1 "$top/scripts/netns.sh" --no-lan "$0" "$@"
fi
unset KELO_TEST_INNER

# Qt honours these; test traffic goes straight to the fakes.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY ftp_proxy FTP_PROXY no_proxy NO_PROXY

# An X server for the suites that render the 3D scene.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [[ -S "/tmp/.X11-unix/X${display#:}" ]] && break
    sleep 0.1
done
export DISPLAY="$display"
export XDG_RUNTIME_DIR=$(mktemp -d)
export LIBGL_ALWAYS_SOFTWARE=1

cd "$build"
status=0
ctest --output-on-failure -j "$(nproc)" "$@" || status=$?
exit $status
