#!/usr/bin/env bash
# Everything CI runs: dependencies, the normal build with all tests, the same under
# AddressSanitizer + UndefinedBehaviorSanitizer, then each fuzz target for a bounded run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

for preset in dev asan; do
  echo "=== $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

if [ -f fuzz/CMakeLists.txt ]; then
  bash scripts/fuzz.sh "${KESTREL_FUZZ_RUNS:-20000}"
fi
echo "=== all tests passed"
