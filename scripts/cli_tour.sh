#!/usr/bin/env bash
# Shows the kestrel command-line tool at work on the built-in simulator: the
# diagnostic information, the status bytes, and a parameter written and read back.
# KESTREL_SKIP_BUILD=1 with KESTREL=path/to/kestrel uses a program built elsewhere.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${KESTREL_SKIP_BUILD:-}" ]; then
  cmake --preset dev >/dev/null
  cmake --build --preset dev -j "$(nproc)" --target kestrel kestrel-sim
fi
kestrel=${KESTREL:-./build/dev/src/cli/kestrel}

# Prints the command line, runs it (stderr with stdout, in order) and shows a non-zero
# exit status.
step() {
  local line='$ kestrel' arg
  for arg in "$@"; do
    if [[ $arg =~ ^[A-Za-z0-9_./:=-]+$ ]]; then line+=" $arg"; else line+=" '$arg'"; fi
  done
  printf '\n%s\n' "$line"
  local status=0
  "$kestrel" "$@" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then echo "(exit status $status)"; fi
}

# The tour talks to its own simulator on loopback and nothing else.
export KESTREL_LOOPBACK_ONLY=1
echo "=== a simulated KT-33A started inside kestrel (--sim)"
step --sim info
step --sim status
step --sim --trace cmd 90 '[tab]'

# Each --sim run has a fresh device; the round trip needs one that lives across runs.
echo
echo "=== a parameter round trip against 'kestrel sim' in the background"
log=$(mktemp)
"$kestrel" sim --tcp 127.0.0.1:0 >"$log" 2>&1 &
sim_pid=$!
cleanup() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -f "$log"
}
trap cleanup EXIT

port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
  [ -n "$port" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
  sleep 0.05
done
if [ -z "$port" ]; then
  echo "the simulator did not start:" >&2
  cat "$log" >&2
  exit 1
fi
echo "$(head -n 1 "$log") on 127.0.0.1:$port"

step --tcp "127.0.0.1:$port" param get Header 0
step --tcp "127.0.0.1:$port" param set Header 0 "KESTREL TOUR"
step --tcp "127.0.0.1:$port" param get Header 0
step --tcp "127.0.0.1:$port" --json param get Header 0
echo
echo "=== the device refuses a value out of range with its own code"
step --tcp "127.0.0.1:$port" param set AutoPowerOff 99
step --tcp "127.0.0.1:$port" param get AutoPowerOff
