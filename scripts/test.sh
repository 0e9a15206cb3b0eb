#!/usr/bin/env bash
# Everything CI runs: dependencies, the normal build (warnings are errors) with all
# tests, the Debian package built and checked, the normal build and tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, then each fuzz target for a bounded run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

build() {
  echo "=== $1: configure, build"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

build dev
ctest --preset dev -j "$jobs"
bash scripts/package.sh
build asan
ctest --preset asan -j "$jobs"

if [ -f fuzz/CMakeLists.txt ]; then
  bash scripts/fuzz.sh "${KESTREL_FUZZ_RUNS:-20000}"
fi
echo "=== all tests passed"
