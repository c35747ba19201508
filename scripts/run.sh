#!/usr/bin/env bash
# Sets up, builds (release) and starts Kelo Studio.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

"$top/scripts/setup.sh"
cmake -S "$top" -B "$top/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build/release" --target kelo-studio

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open." >&2
    echo "To run it under a virtual X server instead:" >&2
    echo "  xvfb-run -a -s '-screen 0 1280x900x24' $top/build/release/kelo-studio" >&2
    exit 1
fi
exec "$top/build/release/kelo-studio" "$@"
