#!/usr/bin/env bash
# Screenshots of every tab from a real X server: starts, inside a private network namespace
# (scripts/netns.sh), an Xvfb of 1600 x 1000, the demo radio and screenshot_tour with a fresh
# HOME, and leaves the PNGs in OUTDIR.
#   tests/app/screenshot_tour.sh BUILDDIR OUTDIR
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
if [[ -z "${KELO_TOUR_INNER:-}" ]]; then
    build=$(cd "$1" && pwd)
    mkdir -p "$2"
    out=$(cd "$2" && pwd)
    logs="$build/demo/logs"
    mkdir -p "$logs"
    cp "$top/samples/logs/hover-practice.log" "$logs/Hover practice.log"
    [[ -f "$logs/Sport flight.log" ]] \
        || python3 "$top/samples/make_flight_log.py" --flight sport --seed 2 "$logs/Sport flight.log"
    exec env KELO_TOUR_INNER=1 "$top/scripts/netns.sh" "$0" "$build" "$out"
fi
build=$1
out=$2
if [[ "${KELO_NETNS:-}" != lan ]]; then
    echo "screenshot_tour.sh: not inside the private namespace; refusing to start." >&2
    exit 3
fi
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
home=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$home"' EXIT
mkdir -p "$home/Documents"
# Other X servers may run on this machine: Xvfb picks a free display and names it.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$home/display" >"$out/xvfb.log" 2>&1 &
"$build/demo/demo_radio" 10.77.0.2 "$build/demo/logs" >"$out/radio.log" 2>&1 &
for _ in $(seq 100); do
    [[ -s "$home/display" ]] && grep -q listening "$out/radio.log" && break
    sleep 0.1
done
env -u WAYLAND_DISPLAY DISPLAY=:$(head -1 "$home/display") QT_QPA_PLATFORM=xcb HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_DOCUMENTS_DIR= ASAN_OPTIONS=detect_leaks=0 "$build/tests/app/screenshot_tour" "$out"
