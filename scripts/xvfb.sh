#!/usr/bin/env bash
# Runs a command with DISPLAY on an X server of its own (Xvfb, 1280x1024x24), ended after it.
#   xvfb.sh CMD [ARG...]
# Suites in network namespaces of their own reach the server only through its socket file
# /tmp/.X11-unix/XN, and Xvfb started in a fresh namespace takes over a number another
# namespace's server (a desktop's :0) still uses, since it sees no other socket there. So
# the number is one that no socket or lock file names, and fd 3 tells when the server
# accepts connections; a server that did not start is never taken for another one.
set -euo pipefail
if [[ $# -eq 0 ]]; then
    echo "usage: xvfb.sh CMD [ARG...]" >&2
    exit 2
fi

display_file=$(mktemp)
xvfb_pid=
trap '[[ -z "$xvfb_pid" ]] || kill $xvfb_pid 2>/dev/null || true; rm -f "$display_file"' EXIT
tries=0
# KELO_XVFB_FIRST: the first number to try (for scripts/tst_xvfb.sh).
for ((n = ${KELO_XVFB_FIRST:-100 + $$ % 800}; tries < 3 && n < 1000; n++)); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    tries=$((tries + 1))
    : >"$display_file"
    Xvfb ":$n" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" \
        >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 300); do
        [[ -s "$display_file" ]] && break
        kill -0 $xvfb_pid 2>/dev/null || break
        sleep 0.1
    done
    if [[ -s "$display_file" ]] && kill -0 $xvfb_pid 2>/dev/null; then
        break
    fi
    # Taken meanwhile, or no working Xvfb: the next number, three times at most.
    kill $xvfb_pid 2>/dev/null || true
    xvfb_pid=
done
display_number=$(tr -dc '0-9' <"$display_file")
if [[ -z "$xvfb_pid" || -z "$display_number" ]]; then
    echo "xvfb.sh: the X server of its own (Xvfb) did not start; the 3D suites need it." >&2
    exit 1
fi
export DISPLAY=":$display_number"
status=0
"$@" || status=$?
exit $status
