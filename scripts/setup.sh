#!/usr/bin/env bash
# Installs what the build, the program and the tests need from Debian's packages.
# As root it installs the missing ones with apt-get; otherwise it prints the line to run.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config ccache
    qtbase5-dev libqt5svg5-dev qtdeclarative5-dev qttools5-dev-tools
    qt3d5-dev qml-module-qt3d qml-module-qtquick-scene3d qml-module-qtquick2
    qt3d-defaultgeometryloader-plugin
    libqcustomplot-dev
    libgl1-mesa-dri xvfb xauth x11-utils
    iproute2 util-linux python3
    clang-14 libclang-rt-14-dev
    tshark
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
    echo "Kelo Studio needs these Debian packages, which are not installed:" >&2
    echo "  ${missing[*]}" >&2
    echo "Install them as root, then run this command again:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; the tests need no capture rights.
echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
