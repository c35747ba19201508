#!/usr/bin/env bash
# Runs a command with DISPLAY on an X server of its own (Xvfb, 1280x1024x24), ended after it.
#   xvfb.sh CMD [ARG...]
# Xvfb picks a free display number itself and writes it to fd 3 once it accepts
# connections: a number chosen here could be another server's, and the command would then
# draw on that one. Fails with a clear message when the server does not start.
set -euo pipefail
if [[ $# -eq 0 ]]; then
    echo "usage: xvfb.sh CMD [ARG...]" >&2
    exit 2
fi

display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; rm -f "$display_file"' EXIT
for _ in $(seq 300); do
    [[ -s "$display_file" ]] && break
    kill -0 $xvfb_pid 2>/dev/null || break
    sleep 0.1
done
display_number=$(tr -dc '0-9' <"$display_file")
if [[ -z "$display_number" ]] || ! kill -0 $xvfb_pid 2>/dev/null; then
    echo "xvfb.sh: the X server of its own (Xvfb) did not start; the 3D suites need it." >&2
    exit 1
fi
export DISPLAY=":$display_number"
status=0
"$@" || status=$?
exit $status
