#!/usr/bin/env bash
# Everything CI runs: dependencies, the normal build (warnings are errors) with all
# tests, the Debian package built and checked, the normal build and tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, then each fuzz target for a bounded run.
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

build dev
stage "dev: tests"
ctest --preset dev -j "$jobs"
stage "package"
bash scripts/package.sh
build asan
stage "asan: tests"
ctest --preset asan -j "$jobs"

if [ -f fuzz/CMakeLists.txt ]; then
  stage "fuzz"
  bash scripts/fuzz.sh "${KESTREL_FUZZ_RUNS:-20000}"
fi
stage "all tests passed"
