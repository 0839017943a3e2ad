#!/usr/bin/env bash
# Runs each fuzz target of a TREVOX_FUZZ build for a bounded time, from its
# committed seed corpus (read only; new inputs go to a scratch corpus), and
# fails on the first finding. Usage: run_fuzz.sh BUILD_DIR SECONDS [TARGET...]
# FUZZ_SEED sets libFuzzer's random seed (0, the default: a new one each run).
set -euo pipefail

build=$(cd "$1" && pwd) # absolute: the targets change their directory
seconds=$2
shift 2
targets=("$@")
seed=${FUZZ_SEED:-0}
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_engine fuzz_job fuzz_settings fuzz_lists)

root=$(cd "$(dirname "$0")/.." && pwd)
scratch="$build/fuzz-work"
rm -rf "$scratch"
mkdir -p "$scratch"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for t in "${targets[@]}"; do
  work="$scratch/$t"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "=== $t: ${seconds}s"
  if ! "$build/tests/fuzz/$t" -max_total_time="$seconds" -seed="$seed" -timeout=10 -rss_limit_mb=2048 \
      -max_len=8192 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
      "$work/corpus" "$root/tests/fuzz/corpus/$t" >"$work/log" 2>&1; then
    tail -n 60 "$work/log"
    echo "=== $t: FINDING (artifacts in $work/artifacts)"
    status=1
    continue
  fi
  grep -E '^stat::number_of_executed_units|^Done' "$work/log" || true
done
exit $status
