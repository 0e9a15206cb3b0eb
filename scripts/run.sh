#!/usr/bin/env bash
# Opens Kestrel FBH on its built-in simulated device. On a fresh machine it first
# installs what is missing and builds. Without a display it says so and shows the
# command-line tool at work on the simulator instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset dev >/dev/null
jobs=$(nproc)

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build --preset dev -j "$jobs" --target kestrel-fbh
  exec ./build/dev/src/app/ui/kestrel-fbh --simulator "$@"
fi

echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty): the window cannot open here."
echo "Showing the command-line tool on the built-in simulator instead."
echo
exec bash scripts/cli_tour.sh
