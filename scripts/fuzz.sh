#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang, AddressSanitizer + UBSan) and runs
# each for a bounded number of runs over a copy of its seed corpus in fuzz/corpus/, so
# the runs never write into the repository. Fails when any target crashes, leaks,
# trips a sanitizer or hangs; the failing input is kept in build/fuzz/artifacts/.
# Usage: scripts/fuzz.sh [RUNS]   (default 20000 runs per target)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"

echo "=== fuzz: configure, build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=()
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "$work/$name"
  if [ -d "fuzz/corpus/$name" ]; then cp -R "fuzz/corpus/$name/." "$work/$name/"; fi
  start=$(date +%s)
  if "$target" -runs="$runs" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/$name-" \
      "$work/$name" >"$work/$name.log" 2>&1; then
    echo "ok   $name: $runs runs in $(( $(date +%s) - start )) s"
  else
    echo "FAIL $name (input kept under $artifacts/):"
    grep -E "ERROR|SUMMARY|runtime error|Test unit written|^ *#[0-9]+ " "$work/$name.log" | head -40 || tail -40 "$work/$name.log"
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "=== fuzz: failed: ${failed[*]}"
  exit 1
fi
echo "=== fuzz: all targets ran clean"
