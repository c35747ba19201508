#!/usr/bin/env bash
# Stands in for the program when the demo test runs scripts/demo.sh: inside the demo's
# namespace it notes the interfaces and routes, records every packet on every interface
# with dumpcap while the test's child program runs, and passes on the child's status.
#   KELO_DEMO_CHILD      the test executable, started with --child
#   KELO_DEMO_RECORD     the folder for links, addresses, routes and traffic.pcapng
set -euo pipefail
out=$KELO_DEMO_RECORD
ip -o link show >"$out/links"
ip -o addr show >"$out/addresses"
ip route show table all >"$out/routes"

dumpcap -q -i any -w "$out/traffic.pcapng" 2>"$out/dumpcap.log" &
capture=$!
for _ in $(seq 100); do
    grep -q "Capturing on" "$out/dumpcap.log" && break
    kill -0 "$capture" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q "Capturing on" "$out/dumpcap.log"; then
    echo "demo_capture.sh: dumpcap did not start:" >&2
    cat "$out/dumpcap.log" >&2
    exit 1
fi

status=0
"$KELO_DEMO_CHILD" --child || status=$?
kill -INT "$capture"
wait "$capture" || true
exit $status
