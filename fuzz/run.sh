#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each on its seed corpus (kept read-only in the
# repository; new inputs go to a scratch directory). A crash or a broken
# invariant fails the run and leaves the input in fuzz-out/. With RUNS, a
# target also stops once it has made that many executions. QB_FUZZ_JOBS targets
# run at once (1 unless set).
#   fuzz/run.sh BUILD_DIR [SECONDS] [RUNS]
set -euo pipefail
build=${1:?build directory}
seconds=${2:-25}
runs=${3:--1}
jobs=${QB_FUZZ_JOBS:-1}
[[ $jobs =~ ^[1-9][0-9]*$ ]] || { echo "QB_FUZZ_JOBS wants a whole number from 1" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
out=${QB_FUZZ_OUT:-$build/fuzz-out}
mkdir -p "$out"

# One target: its log, and a line of its counts in NAME.summary. It counts as
# failed until it has finished cleanly, so a job that dies midway fails the run.
run_one() {
  local name=$1 corpus=$2 bin="$build/fuzz/fuzz_$1" status=0
  rm -f "$out/$name.summary"
  touch "$out/$name.failed"
  if [ ! -x "$bin" ]; then
    echo "missing $bin" >&2
    echo "fuzz_$name: missing" >"$out/$name.summary"
    return
  fi
  mkdir -p "$out/$name"
  echo "== fuzz_$name (${seconds}s)"
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
    "$bin" -max_total_time="$seconds" -runs="$runs" -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$out/$name-" -print_final_stats=1 "$out/$name" "$corpus" \
    >"$out/$name.log" 2>&1 || status=1
  local execs rate line
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$name.log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$out/$name.log" | tail -n 1)
  line="fuzz_$name: ${execs:-?} executions, ${rate:-?}/s"
  if [ "$runs" -gt 0 ] && [ -n "$execs" ]; then
    if [ "$execs" -ge "$runs" ]; then line+=", reached $runs"; else line+=", short of $runs"; fi
  fi
  if [ $status -ne 0 ]; then
    line+=", FAILED"
    { echo "fuzz_$name FAILED; see $out/$name.log"; tail -n 40 "$out/$name.log"; } >&2
  fi
  echo "$line" | tee "$out/$name.summary"
  [ $status -ne 0 ] || rm -f "$out/$name.failed"
}

names=()
for corpus in "$here"/corpus/*/; do
  name=$(basename "$corpus")
  names+=("$name")
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_one "$name" "$corpus" &
done
wait

status=0
echo "== executions per target"
for name in "${names[@]}"; do
  cat "$out/$name.summary" 2>/dev/null || echo "fuzz_$name: no result, FAILED"
  [ ! -e "$out/$name.failed" ] || status=1
done
exit $status
