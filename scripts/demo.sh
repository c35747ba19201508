#!/usr/bin/env bash
# Builds Kelo Studio as run.sh does and starts it together with a demo radio, both inside a
# private network namespace: the program finds the radio by itself, and nothing either of
# them sends can reach the real network. The window opens on this display. The demo radio
# serves three flight logs, pictures, apps, a live screen and the debug stream on port 9022,
# and takes uploads, installs and touches. Ctrl+C or closing the window ends both.
# Refuses to run without a namespace. Arguments go to the program.
#
# For the test suite: KELO_DEMO_BUILD=DIR takes the programs already built in DIR instead of
# building, and KELO_DEMO_PROGRAM=PATH is started in place of DIR/kelo-studio.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
radio_ip=10.77.0.2

if [[ -z "${KELO_DEMO_INNER:-}" ]]; then
    if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
        echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open." >&2
        echo "To run the demo under a virtual X server instead:" >&2
        echo "  xvfb-run -a -s '-screen 0 1280x900x24' $top/scripts/demo.sh" >&2
        exit 1
    fi
    # Inside the namespace only displays reached through a socket file work, not TCP ones
    # such as an ssh-forwarded "localhost:10.0".
    if [[ -n "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && ! "$DISPLAY" =~ ^(unix)?:[0-9] ]]; then
        echo "The display $DISPLAY is reached over the network, which the demo's private" >&2
        echo "namespace cannot do. Use a local display, or xvfb-run as shown in the README." >&2
        exit 1
    fi

    if [[ -z "${KELO_DEMO_BUILD:-}" ]]; then
        "$top/scripts/setup.sh"
        build="$top/build/release"
        cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELO_BUILD_DEMO=ON \
            >/dev/null
        cmake --build "$build" --target kelo-studio demo_radio
    else
        build=$(cd "$KELO_DEMO_BUILD" && pwd)
    fi

    # The radio's flight logs: the committed sample and two longer flights, made once.
    logs="$build/demo/logs"
    mkdir -p "$logs"
    maker="$top/samples/make_flight_log.py"
    if [[ ! -f "$logs/Hover practice.log" || "$top/samples/logs/hover-practice.log" -nt "$logs/Hover practice.log" ]]; then
        cp "$top/samples/logs/hover-practice.log" "$logs/Hover practice.log"
    fi
    if [[ ! -f "$logs/Sport flight.log" || "$maker" -nt "$logs/Sport flight.log" ]]; then
        echo "Writing the demo's flight logs..."
        python3 "$maker" --flight sport --seed 2 "$logs/Sport flight.log"
    fi
    if [[ ! -f "$logs/Endurance.log" || "$maker" -nt "$logs/Endurance.log" ]]; then
        python3 "$maker" --flight endurance --seed 3 "$logs/Endurance.log"
    fi

    exec env KELO_DEMO_INNER=1 KELO_DEMO_BUILD="$build" "$top/scripts/netns.sh" "$0" "$@"
fi
unset KELO_DEMO_INNER

# Inside the namespace. Start nothing unless it really is the private one of netns.sh:
# only the test LAN's addresses and no route out.
if [[ "${KELO_NETNS:-}" != lan ]]; then
    echo "demo.sh: not inside the demo's private network namespace; refusing to start." >&2
    exit 3
fi
outside=$(ip -o -4 addr show scope global | awk '{print $4}' | grep -v '^10\.77\.0\.' || true)
if [[ -n "$outside" || -n "$(ip -4 route show default)" ]]; then
    echo "demo.sh: this namespace reaches beyond the test LAN ($outside); refusing to start." >&2
    exit 3
fi

unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY ftp_proxy FTP_PROXY no_proxy NO_PROXY
build=$KELO_DEMO_BUILD
radio_log="$build/demo/radio.log"
"$build/demo/demo_radio" "$radio_ip" "$build/demo/logs" >"$radio_log" 2>&1 &
radio=$!
trap 'kill "$radio" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    grep -q "listening" "$radio_log" && break
    kill -0 "$radio" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q "listening" "$radio_log"; then
    echo "demo.sh: the demo radio did not start:" >&2
    cat "$radio_log" >&2
    exit 1
fi
echo "Demo radio at $radio_ip (its requests are logged in $radio_log)."

"${KELO_DEMO_PROGRAM:-$build/kelo-studio}" "$@"
