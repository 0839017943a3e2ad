#!/usr/bin/env bash
# The benchmark: Trevox over a generated tree against the floor (copying every
# file twice with cp) and a peer (GNU sed -i.bak removing leading blanks and
# tabs). Each contender runs on a fresh copy of the same tree, alternating,
# ROUNDS times; the best wall time of each is reported with its CPU time and
# peak memory, and the ratios.
#
#   bench/run.sh [FILES] [BYTES] [ROUNDS]      defaults: 5000 100000000 3
#
# Needs a built tree (make build) and GNU time (/usr/bin/time).
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

rm -rf "$WORK" && mkdir -p "$WORK/tree"
"$GEN" "$WORK/tree" "$FILES" "$BYTES" 1
echo "tree: $FILES files, $(du -sb "$WORK/tree" | cut -f1) bytes"

fresh() { rm -rf "$WORK/run" && cp -r "$WORK/tree" "$WORK/run"; sync; }

# Each contender: a command run inside $WORK/run. Prints "wall cpu maxrss_kb".
measure() {
  local out
  out=$( { cd "$WORK/run" && /usr/bin/time -f '%e %U %S %M' "$@" >/dev/null 2>/dev/null; } 2>&1 | tail -n 1)
  awk '{ printf "%.3f %.3f %d\n", $1, $2 + $3, $4 }' <<<"$out"
}

run_trevox() { measure "$TREVOX" Bench.vbp /y; }
run_floor() { measure sh -c 'for f in *.frm *.cls *.bas; do cp -- "$f" "$f.bk"; cp -- "$f" "$f.new"; done'; }
run_sed() { measure sh -c 'sed -i.bak "s/^[ \t]*//" -- *.frm *.cls *.bas'; }

declare -A best_wall best_cpu best_mem
for round in $(seq "$ROUNDS"); do
  for who in trevox floor sed; do
    fresh
    read -r wall cpu mem < <("run_$who")
    echo "round $round  $who  wall ${wall}s  cpu ${cpu}s  peak ${mem} KiB"
    if [ -z "${best_wall[$who]:-}" ] || awk "BEGIN{exit !($wall < ${best_wall[$who]})}"; then
      best_wall[$who]=$wall; best_cpu[$who]=$cpu; best_mem[$who]=$mem
    fi
  done
done

echo
printf '%-8s %10s %10s %12s\n' who wall_s cpu_s peak_KiB
for who in trevox floor sed; do
  printf '%-8s %10s %10s %12s\n' "$who" "${best_wall[$who]}" "${best_cpu[$who]}" "${best_mem[$who]}"
done
awk -v a="${best_wall[trevox]}" -v b="${best_wall[floor]}" -v c="${best_wall[sed]}" \
  'BEGIN { printf "\ntrevox/floor %.2f   trevox/sed %.2f\n", a / b, a / c }'
