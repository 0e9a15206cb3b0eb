#!/usr/bin/env bash
# The Windows build: cross-compiles the engine, simulator, page logic, kestrel and their
# tests with mingw-w64 into build/windows/, runs under Wine every test that needs no
# pseudo-terminal or window, and packs kestrel.exe, kestrel-sim.exe and a README into
# build/windows/kestrel-windows.zip. Wine runs in a prefix of its own inside
# build/windows/, and only the Wine server of that prefix is ended at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/deps.sh g++-mingw-w64-x86-64-posix wine64 wine

out=build/windows
cmake --preset windows >/dev/null
targets=(kestrel kestrel-sim)
for t in support_tests windows_tests engine_tests catalogue_tests sim_tests app_tests cli_tests; do
  if cmake --build "$out" --target help 2>/dev/null | grep -q "^$t:"; then targets+=("$t"); fi
done
cmake --build "$out" -j "$jobs" --target "${targets[@]}"

# The Linux simulator is the other end of the serial tests' COM port, and the Linux
# kestrel talks to the Windows simulator: those of CI's sanitized build when they are
# there, else ones built in build/dev.
linux=
for b in build/asan build/dev; do
  if [ -x "$b/src/sim/kestrel-sim" ] && [ -x "$b/src/cli/kestrel" ]; then linux=$b; break; fi
done
if [ -z "$linux" ]; then
  cmake --preset dev >/dev/null
  cmake --build build/dev -j "$jobs" --target kestrel-sim kestrel
  linux=build/dev
fi
sim=${KESTREL_LINUX_SIM:-$linux/src/sim/kestrel-sim}

# Like the tests and benchmarks, everything here may reach this machine's loopback only.
export KESTREL_LOOPBACK_ONLY=1
export WINEPREFIX=$PWD/$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tmp=$(mktemp -d)
sim_pid=
winsim_pid=
finish() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  [ -n "$winsim_pid" ] && kill "$winsim_pid" 2>/dev/null && wait "$winsim_pid" 2>/dev/null
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap finish EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1
fi
# The Wine server and its helpers start first with their output away from ctest's pipes:
# started by the first test, they would hold those pipes open and ctest would wait.
wineserver -p </dev/null >/dev/null 2>&1 || true  # already running after a first wineboot
wine cmd /c exit </dev/null >/dev/null 2>&1

# COM7 is the simulator's pseudo-terminal (the simulator keeps its end open throughout);
# the same simulator serves TCP on a free loopback port.
"$sim" --pty "$tmp/pty" --tcp 127.0.0.1:0 --state "$tmp/state.json" >"$tmp/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$tmp/pty" ] && grep -q "listening on" "$tmp/sim.out" && break; sleep 0.1; done
ln -sfn "$(readlink -f "$tmp/pty")" "$WINEPREFIX/dosdevices/com7"
export KESTREL_TEST_COM=7
KESTREL_TEST_TCP_PORT=$(sed -n 's/^kestrel-sim: listening on .*:\([0-9]*\)$/\1/p' "$tmp/sim.out")
export KESTREL_TEST_TCP_PORT

ctest --test-dir "$out" -j "$jobs" --output-on-failure

# The programs across the platforms: kestrel.exe against the Linux simulator over TCP and
# on COM7, and the Linux kestrel against kestrel-sim.exe. Each must identify the device.
check() {
  local name=$1
  shift
  if ! "$@" >"$tmp/check.out" 2>&1 || ! grep -q "KT-33A" "$tmp/check.out"; then
    echo "windows: FAILED: $name: $*" >&2
    cat "$tmp/check.out" >&2
    exit 1
  fi
  echo "windows: ok: $name"
}
check "kestrel.exe over TCP to the Linux simulator" \
  wine "$out/src/cli/kestrel.exe" --tcp "127.0.0.1:$KESTREL_TEST_TCP_PORT" info
check "kestrel.exe on COM7 to the Linux simulator" wine "$out/src/cli/kestrel.exe" --serial COM7 info
wine "$out/src/sim/kestrel-sim.exe" --tcp 127.0.0.1:0 </dev/null >"$tmp/winsim.out" 2>&1 &
winsim_pid=$!
for _ in $(seq 100); do grep -q "listening on" "$tmp/winsim.out" && break; sleep 0.1; done
winsim_port=$(sed -n 's/^kestrel-sim: listening on .*:\([0-9]*\)\r\{0,1\}$/\1/p' "$tmp/winsim.out")
check "the Linux kestrel to kestrel-sim.exe over TCP" "$linux/src/cli/kestrel" --tcp "127.0.0.1:$winsim_port" info
kill "$winsim_pid" 2>/dev/null && { wait "$winsim_pid" 2>/dev/null || true; }
winsim_pid=

pack=$out/pack
rm -rf "$pack" && mkdir -p "$pack"
cp "$out/src/cli/kestrel.exe" "$out/src/sim/kestrel-sim.exe" packaging/windows/README.txt "$pack/"
(cd "$pack" && cmake -E tar cf ../kestrel-windows.zip --format=zip kestrel.exe kestrel-sim.exe README.txt)
echo "windows: $out/kestrel-windows.zip"
