#!/usr/bin/env bash
# Renders the Connect, Device status and Custom command pages of the window (offscreen, on the
# built-in simulated device), and the status page on a small screen, into docs/screenshots/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target kestrel-fbh-screenshots
# The window writes its settings file: keep it away from the user's own.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
APPDATA="$tmp" XDG_DOCUMENTS_DIR="$tmp/docs" XDG_RUNTIME_DIR="$tmp" QT_QPA_PLATFORM=offscreen \
  ./build/dev/src/app/ui/kestrel-fbh-screenshots docs/screenshots
