#!/usr/bin/env bash
# xvfb.sh beside another X server: the command still draws on a server of its own (the
# 1280x1024 one it started), never on the other; with an Xvfb that cannot start it fails
# and says why.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/foreign" >/dev/null 2>&1 &
foreign_pid=$!
trap 'kill $foreign_pid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 300); do
    [[ -s "$work/foreign" ]] && break
    sleep 0.1
done
foreign=":$(tr -dc '0-9' <"$work/foreign")"
[[ "$foreign" != ":" ]] || fail "the other X server did not start"

command -v xdpyinfo >/dev/null || { echo "SKIP: xdpyinfo (x11-utils) is missing"; exit 77; }
"$here/xvfb.sh" bash -c 'echo "$DISPLAY"; xdpyinfo | grep -m1 dimensions' >"$work/own"
display=$(head -n1 "$work/own")
[[ "$display" != "$foreign" ]] || fail "the command got the other server's display $foreign"
grep -q "1280x1024 pixels" "$work/own" || fail "$display is not the server xvfb.sh started: $(cat "$work/own")"
! xdpyinfo -display "$display" >/dev/null 2>&1 || fail "xvfb.sh left its server $display running"

mkdir "$work/bin"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/Xvfb"
chmod +x "$work/bin/Xvfb"
if PATH="$work/bin:$PATH" "$here/xvfb.sh" true 2>"$work/err"; then
    fail "xvfb.sh ran the command without an X server"
fi
grep -q "did not start" "$work/err" || fail "no clear message: $(cat "$work/err")"
echo "PASS: own server $display beside $foreign; a failed Xvfb is reported"
