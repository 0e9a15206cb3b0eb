#!/usr/bin/env bash
# Everything CI runs: dependencies; every target (window, tests, benchmarks) built once
# with AddressSanitizer + UndefinedBehaviorSanitizer and warnings as errors, and every
# test run on that build; beside the tests, the Debian package built and checked; each
# fuzz target for a bounded run; the Windows cross-build and its tests under Wine. One sanitized build
# instead of a plain one and a sanitized one keeps CI well inside its time; the plain
# `dev` build is the same code without the checks.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
started=$SECONDS
stage() { echo "=== [$((SECONDS - started)) s] $1"; }

build() {
  stage "$1: configure, build"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

build asan
# The tests spend most of their time waiting on simulated devices (answers seconds late,
# time limits running out), so they get two slots per core, and the package's release
# build takes the cores they leave idle, at the lowest priority so the tests' timing
# stays theirs.
stage "asan: tests, the package beside them"
package_log=$(mktemp)
# A group of its own, so that a stopped run ends the package's compilers too.
setsid nice -n 19 bash scripts/package.sh >"$package_log" 2>&1 &
package_pid=$!
trap 'kill -- "-$package_pid" 2>/dev/null || true; rm -f "$package_log"' EXIT
tests=0
ctest --preset asan -j "$((jobs * 2))" || tests=$?
stage "asan: tests done (status $tests); waiting for the package"
package=0
wait "$package_pid" || package=$?
trap - EXIT
cat "$package_log"
rm -f "$package_log"
[ "$tests" -eq 0 ] || exit "$tests"
[ "$package" -eq 0 ] || { echo "package: FAILED (status $package)" >&2; exit "$package"; }
# The Windows build under Wine: kestrel.exe, kestrel-sim.exe and the tests that need no
# pseudo-terminal or window, the serial transport against the simulator of the sanitized
# build on a pseudo-terminal, the programs against each other across the platforms.
stage "windows"
bash scripts/windows.sh

if [ -f fuzz/CMakeLists.txt ]; then
  stage "fuzz"
  bash scripts/fuzz.sh "${KESTREL_FUZZ_RUNS:-20000}"
fi
stage "all tests passed"
