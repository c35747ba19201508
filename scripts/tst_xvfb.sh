#!/usr/bin/env bash
# xvfb.sh beside another X server: the command still draws on a server of its own (the
# 1280x1024 one it started), never on the other, also from a network namespace of its own;
# with an Xvfb that cannot start it fails and says why.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
foreign_pid=
trap '[[ -z "$foreign_pid" ]] || kill $foreign_pid 2>/dev/null || true; rm -rf "$work"' EXIT
# The other server on a free number of its own (-displayfd alone would take :0 in a fresh
# namespace, whoever uses it outside).
for ((n = 990; n < 1000; n++)); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break
done
Xvfb ":$n" -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/foreign" >/dev/null 2>&1 &
foreign_pid=$!
for _ in $(seq 300); do
    [[ -s "$work/foreign" ]] && break
    sleep 0.1
done
foreign=":$(tr -dc '0-9' <"$work/foreign")"
[[ "$foreign" != ":" ]] || fail "the other X server did not start"

command -v xdpyinfo >/dev/null || { echo "SKIP: xdpyinfo (x11-utils) is missing"; exit 77; }
# Its first choice is the other server's number, seen from a network namespace of its own
# (as test.sh runs it), where only the other server's socket file tells the number is taken;
# the suites in namespaces of their own reach it through its socket file alone.
isolate=()
unshare -n true 2>/dev/null && isolate=(unshare -n)
KELO_XVFB_FIRST=${foreign#:} "${isolate[@]}" "$here/xvfb.sh" "${isolate[@]}" \
    bash -c 'echo "$DISPLAY"; xdpyinfo | grep -m1 dimensions' >"$work/own"
display=$(head -n1 "$work/own")
[[ "$display" != "$foreign" ]] || fail "the command got the other server's display $foreign"
grep -q "1280x1024 pixels" "$work/own" || fail "$display is not the server xvfb.sh started: $(cat "$work/own")"
xdpyinfo -display "$foreign" >"$work/other" 2>&1 || true
grep -q "640x480 pixels" "$work/other" || fail "the other server lost its display: $(head -c 300 "$work/other")"
! xdpyinfo -display "$display" >/dev/null 2>&1 || fail "xvfb.sh left its server $display running"

mkdir "$work/bin"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/Xvfb"
chmod +x "$work/bin/Xvfb"
if PATH="$work/bin:$PATH" "$here/xvfb.sh" true 2>"$work/err"; then
    fail "xvfb.sh ran the command without an X server"
fi
grep -q "did not start" "$work/err" || fail "no clear message: $(cat "$work/err")"
echo "PASS: own server $display beside $foreign; a failed Xvfb is reported"
