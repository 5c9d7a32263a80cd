#!/usr/bin/env bash
# Runs the suite again and again beside a CPU hog on every core, to catch tests
# that depend on timing or on what other tests do at the same moment.
# Usage: scripts/stress-suite.sh [BUILD] [RUNS] [CTEST_REGEX]
#   scripts/stress-suite.sh build 20                  # 20 whole-suite runs
#   scripts/stress-suite.sh build 5 '_gui_test|dialog|e2e|_page_'   # window tests only
# Stops at the first failing run and prints its failures; exits 0 when all pass.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-20}
regex=${3:-}
QB_STRESS_DEPS=1 scripts/install-deps.sh
[ -f "$build/CTestTestfile.cmake" ] || { echo "no test tree in $build: run make build first" >&2; exit 2; }
stress-ng --cpu "$(nproc)" --timeout 4h --quiet &
hog=$!
trap 'kill "$hog" 2>/dev/null || true; wait "$hog" 2>/dev/null || true' EXIT
log=$(mktemp)
args=(--output-on-failure -j4 --timeout 900)
[ -n "$regex" ] && args+=(-R "$regex")
for i in $(seq 1 "$runs"); do
  start=$(date +%s)
  if (cd "$build" && ctest "${args[@]}") >"$log" 2>&1; then
    echo "run $i of $runs: $(grep -Eo '[0-9]+% tests passed.*' "$log") ($(( $(date +%s) - start )) s)"
  else
    echo "run $i of $runs FAILED ($(( $(date +%s) - start )) s):"
    # Each failure with the lines after it: the checks' own messages say why.
    grep -E -A8 '\*\*\*|Failure|timed out' "$log" | head -150
    echo "whole log: $log"
    exit 1
  fi
done
rm -f "$log"
echo "all $runs runs passed"
