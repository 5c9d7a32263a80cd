#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each on its seed corpus (kept read-only in the
# repository; new inputs go to a scratch directory). A crash or a broken
# invariant fails the run and leaves the input in fuzz-out/. With RUNS, a
# target also stops once it has made that many executions.
#   fuzz/run.sh BUILD_DIR [SECONDS] [RUNS]
set -euo pipefail
build=${1:?build directory}
seconds=${2:-25}
runs=${3:--1}
here=$(cd "$(dirname "$0")" && pwd)
out=${QB_FUZZ_OUT:-$build/fuzz-out}
mkdir -p "$out"
status=0
summary=""
for corpus in "$here"/corpus/*/; do
  name=$(basename "$corpus")
  bin="$build/fuzz/fuzz_$name"
  [ -x "$bin" ] || { echo "missing $bin" >&2; status=1; continue; }
  work="$out/$name"
  mkdir -p "$work"
  echo "== fuzz_$name (${seconds}s)"
  if ! ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
       "$bin" -max_total_time="$seconds" -runs="$runs" -timeout=20 -rss_limit_mb=2048 \
       -artifact_prefix="$out/$name-" -print_final_stats=1 "$work" "$corpus" \
       >"$out/$name.log" 2>&1; then
    echo "fuzz_$name FAILED; see $out/$name.log" >&2
    tail -n 40 "$out/$name.log" >&2
    status=1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$name.log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$out/$name.log" | tail -n 1)
  line="fuzz_$name: ${execs:-?} executions, ${rate:-?}/s"
  if [ "$runs" -gt 0 ] && [ -n "$execs" ]; then
    if [ "$execs" -ge "$runs" ]; then line+=", reached $runs"; else line+=", short of $runs"; fi
  fi
  echo "$line"
  summary+="$line"$'\n'
done
echo "== executions per target"
printf '%s' "$summary"
exit $status
