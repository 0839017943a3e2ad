#!/usr/bin/env bash
# The benchmark: Trevox over a generated tree against the floor (copying every
# file twice with cp) and a peer (GNU sed -i.bak removing leading blanks and
# tabs). Each contender runs on a fresh copy of the same tree, alternating,
# ROUNDS times; the best wall time of each is reported with its CPU time and
# peak memory, and the ratios (FILES 0 skips this part). Then Trevox once
# more over a single file of BIG_BYTES (default 200000000, 0 skips it) for its
# peak memory. Then a project of CASE_FILES members (default 20000, 0 skips
# it; CASE_BYTES in all, default 20000000) run twice, alternating on fresh
# copies ROUNDS times: listed with the names as on disk, and listed with
# every name in capitals, so that each is looked up regardless of letter case.
#
#   bench/run.sh [FILES] [BYTES] [ROUNDS]      defaults: 5000 100000000 3
#
# Needs an optimised build (make build, or make bench which runs this) and
# GNU time (/usr/bin/time). Works in $BENCH_DIR (default scratch/bench). With
# OLD_TREVOX set to another build of trevox, that one runs too, alternating
# with the rest, for before/after figures from one run.
set -euo pipefail
cd "$(dirname "$0")/.."

FILES=${1:-5000}
BYTES=${2:-100000000}
ROUNDS=${3:-3}
BUILD=${BUILD:-build}
TREVOX=$PWD/$BUILD/trevox
GEN=$PWD/$BUILD/bench/gen_tree
WORK=${BENCH_DIR:-$PWD/scratch/bench}

[ -x "$TREVOX" ] && [ -x "$GEN" ] || { echo "build first: make build" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs GNU time: apt-get install time" >&2; exit 2; }

rm -rf "$WORK"
mkdir -p "$WORK"

# A fresh copy of a tree (default $WORK/tree) for every run, in a directory of
# its own: nothing is deleted until the end, because on some file systems
# (ext4 without a journal) every file created soon after many deletions pays
# for them.
runs=0
fresh() {
  runs=$((runs + 1))
  RUN="$WORK/run$runs"
  cp -r "${1:-$WORK/tree}" "$RUN"
  sync
}

# Each contender: a command run inside $RUN. Prints "wall cpu maxrss_kb";
# a command that fails stops the benchmark.
measure() {
  local rc=0
  ( cd "$RUN" && /usr/bin/time -o "$WORK/time.txt" -f '%e %U %S %M' "$@" >/dev/null 2>&1 ) || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "failed with exit code $rc: $*" >&2
    exit 1
  fi
  awk '{ printf "%.3f %.3f %d\n", $1, $2 + $3, $4 }' <(tail -n 1 "$WORK/time.txt")
}

# (a) Trevox over the project listing every file, answering itself (/y).
run_trevox() { measure "$TREVOX" Bench.vbp /y; }
# (b) The floor: every file copied twice (the backup and the rewritten text),
# by two cp processes, so that the figure is the copying and not the cost of
# starting a process per file.
run_floor() { measure sh -c 'mkdir .bk .new && cp -- *.frm *.cls *.bas .bk/ && cp -- *.frm *.cls *.bas .new/'; }
# (d) Another build, when given, the same way as (a).
run_old() { measure "$OLD_TREVOX" Bench.vbp /y; }
# (c) The peer: GNU sed removing leading blanks and tabs in place, keeping a
# .bak backup (by renaming the original).
run_sed() { measure sh -c 'sed -i.bak "s/^[ \t]*//" -- *.frm *.cls *.bas'; }

declare -A best_wall best_cpu best_mem
# Keeps the best wall time of contender $1 with its CPU time and peak memory.
keep_best() {
  if [ -z "${best_wall[$1]:-}" ] || awk "BEGIN{exit !($2 < ${best_wall[$1]})}"; then
    best_wall[$1]=$2; best_cpu[$1]=$3; best_mem[$1]=$4
  fi
}

# Contender $1's wall and CPU time over the floor's and sed's.
ratios() {
  awk -v n="$1" -v a="${best_wall[$1]}" -v b="${best_wall[floor]}" -v c="${best_wall[sed]}" \
    -v ac="${best_cpu[$1]}" -v bc="${best_cpu[floor]}" -v cc="${best_cpu[sed]}" \
    'function ratio(x, y) { return y > 0 ? sprintf("%.2f", x / y) : "n/a" }
     BEGIN { printf "%s/floor wall %s cpu %s   %s/sed wall %s cpu %s\n", n, ratio(a, b),
             ratio(ac, bc), n, ratio(a, c), ratio(ac, cc) }'
}

if [ "$FILES" -gt 0 ]; then
  "$GEN" "$WORK/tree" "$FILES" "$BYTES" 1
  echo "tree: $FILES files, $(du -sb "$WORK/tree" | cut -f1) bytes"
  contenders=(trevox floor sed)
  [ -z "${OLD_TREVOX:-}" ] || contenders+=(old)
  for round in $(seq "$ROUNDS"); do
    for who in "${contenders[@]}"; do
      fresh
      read -r wall cpu mem < <("run_$who")
      echo "round $round  $who  wall ${wall}s  cpu ${cpu}s  peak ${mem} KiB"
      keep_best "$who" "$wall" "$cpu" "$mem"
    done
  done

  echo
  printf '%-8s %10s %10s %12s\n' who wall_s cpu_s peak_KiB
  for who in "${contenders[@]}"; do
    printf '%-8s %10s %10s %12s\n' "$who" "${best_wall[$who]}" "${best_cpu[$who]}" "${best_mem[$who]}"
  done
  echo
  ratios trevox
  [ -z "${OLD_TREVOX:-}" ] || ratios old
fi

BIG_BYTES=${BIG_BYTES:-200000000}
if [ "$BIG_BYTES" -gt 0 ]; then
  RUN="$WORK/big"
  "$GEN" "$RUN" 1 "$BIG_BYTES" 2
  sync
  shopt -s nullglob
  sources=("$RUN"/*.frm "$RUN"/*.cls "$RUN"/*.bas)
  shopt -u nullglob
  big=$(basename "${sources[0]}")
  size=$(stat -c %s "$RUN/$big")
  read -r wall cpu mem < <(measure "$TREVOX" "$big" /y)
  echo "single file of $size bytes: wall ${wall}s  cpu ${cpu}s  peak ${mem} KiB"
fi

CASE_FILES=${CASE_FILES:-20000}
CASE_BYTES=${CASE_BYTES:-20000000}
if [ "$CASE_FILES" -gt 0 ]; then
  "$GEN" "$WORK/case" "$CASE_FILES" "$CASE_BYTES" 3
  echo
  echo "case tree: $CASE_FILES files, $(du -sb "$WORK/case" | cut -f1) bytes"
  # The exact names are (a) over this tree; timed apart from (a) above.
  run_exact() { run_trevox; }
  run_any_case() { measure "$TREVOX" BenchCase.vbp /y; }
  for round in $(seq "$ROUNDS"); do
    for who in exact any_case; do
      fresh "$WORK/case"
      read -r wall cpu mem < <("run_$who")
      echo "round $round  $who  wall ${wall}s  cpu ${cpu}s  peak ${mem} KiB"
      keep_best "$who" "$wall" "$cpu" "$mem"
    done
  done
  printf '\n%-8s %10s %10s %12s\n' names wall_s cpu_s peak_KiB
  for who in exact any_case; do
    printf '%-8s %10s %10s %12s\n' "$who" "${best_wall[$who]}" "${best_cpu[$who]}" "${best_mem[$who]}"
  done
  awk -v a="${best_wall[any_case]}" -v b="${best_wall[exact]}" \
    'BEGIN { printf "\nany_case/exact %s\n", (b > 0 ? sprintf("%.2f", a / b) : "n/a") }'
fi
rm -rf "$WORK"
