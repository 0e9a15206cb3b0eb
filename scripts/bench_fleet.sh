#!/usr/bin/env bash
# kestrel --hosts against simulators that take 300 ms per command: one device alone, then
# 12 and 50 side by side (`info`, wall time, median of 3), and the memory of the run with
# 200 devices next to the run with one (maximum resident set of the kestrel process).
# Usage: scripts/bench_fleet.sh [BUILD_DIR]  (build/release when not given)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
kestrel=$build/src/cli/kestrel
sim=$build/src/sim/kestrel-sim
export KESTREL_LOOPBACK_ONLY=1
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts N simulators on free ports; their links go into $work/hostsN.
start_sims() {
  local n=$1 i
  : >"$work/hosts$n"
  for ((i = 0; i < n; i++)); do
    "$sim" --tcp 127.0.0.1:0 --fault slow:300 >"$work/sim$n.$i" 2>&1 &
    pids+=($!)
  done
  for ((i = 0; i < n; i++)); do
    local port=""
    for _ in $(seq 100); do
      port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/sim$n.$i")
      [ -n "$port" ] && break
      sleep 0.05
    done
    echo "dev$i tcp:127.0.0.1:$port" >>"$work/hosts$n"
  done
}

# Median wall time in ms of three runs of the command.
median_ms() {
  local t=()
  for _ in 1 2 3; do
    local s e
    s=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    e=$(date +%s%N)
    t+=($(((e - s) / 1000000)))
  done
  printf '%s\n' "${t[@]}" | sort -n | sed -n 2p
}

max_rss_kb() {
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}

start_sims 1
start_sims 12
start_sims 50
one=$(median_ms "$kestrel" --hosts "$work/hosts1" info)
twelve=$(median_ms "$kestrel" --hosts "$work/hosts12" info)
fifty=$(median_ms "$kestrel" --hosts "$work/hosts50" info)
echo "one device alone:        ${one} ms"
echo "12 devices:              ${twelve} ms  ($(awk "BEGIN{printf \"%.2f\", $twelve/$one}")x, goal <= 2x)"
echo "50 devices:              ${fifty} ms  ($(awk "BEGIN{printf \"%.2f\", $fifty/$one}")x, goal <= 3x)"

if [ -x /usr/bin/time ]; then
  start_sims 200
  rss1=$(max_rss_kb "$kestrel" --hosts "$work/hosts1" info)
  rss200=$(max_rss_kb "$kestrel" --hosts "$work/hosts200" info)
  echo "max RSS, 1 device:       ${rss1} KiB"
  # At most 64 devices run at once: 63 sessions more than the run with one.
  echo "max RSS, 200 devices:    ${rss200} KiB  ($(((rss200 - rss1) / 63)) KiB per further session, 64 at once)"
fi
