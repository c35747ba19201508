#!/usr/bin/env bash
# Runs a command in a new, private network namespace, so nothing it sends can leave it.
#   netns.sh [--no-lan] CMD [ARG...]
# Inside: lo (127.0.0.1/8) and, unless --no-lan, a test LAN over a veth pair:
#   kelo0  10.77.0.1/24  the program's own address (the scanner sweeps 10.77.0.0/24)
#   kelo1  10.77.0.2/32  and any KELO_NETNS_HOSTS more (.3, .4, ...) for fake radios;
#          /32s, so the scanner sweeps only kelo0's /24
# KELO_NETNS=lan or KELO_NETNS=loopback is exported to the command.
set -euo pipefail

lan=1
if [[ "${1:-}" == "--no-lan" ]]; then lan=0; shift; fi
if [[ $# -eq 0 ]]; then
    echo "usage: netns.sh [--no-lan] CMD [ARG...]" >&2
    exit 2
fi

if [[ -z "${KELO_NETNS_INNER:-}" ]]; then
    args=()
    [[ $lan -eq 0 ]] && args+=(--no-lan)
    # Root needs no user namespace; keeping real ids lets tests drop to another user.
    if [[ $(id -u) -eq 0 ]]; then unshare=(unshare -n); else unshare=(unshare -rn); fi
    if ! "${unshare[@]}" true 2>/dev/null; then
        echo "netns.sh: cannot create a private network namespace (${unshare[*]} failed)." >&2
        echo "The tests must not send traffic to the real network, so they do not run without one." >&2
        echo "Enable unprivileged user namespaces (sysctl kernel.unprivileged_userns_clone=1) or run as root." >&2
        exit 3
    fi
    exec "${unshare[@]}" env KELO_NETNS_INNER=1 "$0" "${args[@]}" "$@"
fi
unset KELO_NETNS_INNER

ip link set lo up
if [[ $lan -eq 1 ]]; then
    ip link add kelo0 type veth peer name kelo1
    ip addr add 10.77.0.1/24 dev kelo0
    ip addr add 10.77.0.2/32 dev kelo1
    extra=${KELO_NETNS_HOSTS:-0}
    for ((i = 0; i < extra; i++)); do
        ip addr add "10.77.0.$((3 + i))/32" dev kelo1
    done
    ip link set kelo0 up
    ip link set kelo1 up
    export KELO_NETNS=lan
else
    export KELO_NETNS=loopback
fi
exec "$@"
