#!/usr/bin/env bash
# Everything CI runs: dependencies; every target (window, tests, benchmarks) built once
# with AddressSanitizer + UndefinedBehaviorSanitizer and warnings as errors, and every
# test run on that build; the Debian package built and checked; each fuzz target for a
# bounded run; the Windows cross-build and its tests under Wine. One sanitized build
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
stage "asan: tests"
ctest --preset asan -j "$jobs"
stage "package"
bash scripts/package.sh
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
