#!/usr/bin/env bash
# Runs two builds of trevox over the same generated tree and compares every
# byte they leave behind: sources, temporary files, backups, restore scripts,
# the log, standard output, standard error and the exit code. Each run gets a
# fresh copy of the tree under the same path, so the two builds see exactly
# the same thing. Any difference fails.
#
#   tools/compare_builds.sh OLD_TREVOX NEW_TREVOX [FILES] [BYTES]
#
# The tree (build/bench/gen_tree --edges, or $GEN_TREE) holds designer
# headers, protected regions, continued lines and comments, long lines,
# Ctrl-Z, NUL, lone CRs and LF-only line ends. The runs: the whole project
# under each of the 8 combinations of /b, /c and /s; /s again with a short
# MaxLineLength; /z with /t /s (echo and log); and each of the first
# $SINGLE_FILES files alone (default 40), by default and with /t /s, for the
# shapes of the stamped line. Works in $COMPARE_DIR (default scratch/compare).
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 OLD_TREVOX NEW_TREVOX [FILES] [BYTES]" >&2; exit 2; }
# The two builds as named from where the script was called; the rest from
# the top of the tree.
old=$(realpath "$1")
new=$(realpath "$2")
cd "$(dirname "$0")/.."
files=${3:-2000}
bytes=${4:-40000000}
gen=${GEN_TREE:-build/bench/gen_tree}
work=$(realpath -m "${COMPARE_DIR:-scratch/compare}")
single=${SINGLE_FILES:-40}

rm -rf "$work"
mkdir -p "$work/config"
"$gen" --edges "$work/tree" "$files" "$bytes" 7
export SOURCE_DATE_EPOCH=953024730
export XDG_CONFIG_HOME="$work/config"

# run BINARY RESULT_NAME INI_TEXT ARGS...: one run in $work/run, kept as
# $work/RESULT_NAME with its output beside it.
run() {
  local bin=$1 result=$2 ini=$3 rc=0
  shift 3
  rm -rf "$work/run"
  if [ -n "${only:-}" ]; then
    mkdir "$work/run"
    cp "$work/tree/$only" "$work/run/"
  else
    cp -r "$work/tree" "$work/run"
  fi
  printf '%b' "$ini" >"$work/run/Trevox.INI"
  (cd "$work/run" && "$bin" "$@" </dev/null >"$work/out" 2>"$work/err") || rc=$?
  echo "exit code $rc" >>"$work/out"
  mv "$work/run" "$work/$result"
  mv "$work/out" "$work/$result.out"
  mv "$work/err" "$work/$result.err"
}

differences=0
# compare NAME INI_TEXT ARGS...: both builds, then every byte.
compare() {
  local name=$1 ini=$2
  shift 2
  run "$old" old "$ini" "$@"
  run "$new" new "$ini" "$@"
  if ! diff -r -q "$work/old" "$work/new" >/dev/null || ! cmp -s "$work/old.out" "$work/new.out" ||
    ! cmp -s "$work/old.err" "$work/new.err"; then
    echo "DIFFERENT: $name ($*)"
    diff -r -q "$work/old" "$work/new" | head -5 || true
    cmp "$work/old.out" "$work/new.out" || true
    cmp "$work/old.err" "$work/new.err" || true
    differences=$((differences + 1))
    name=$(echo "$name" | tr -d '/ ')
    cp -r "$work/old" "$work/$name.old"
    cp -r "$work/new" "$work/$name.new"
  fi
  rm -rf "$work/old" "$work/new"
}

plain='[Trevox]\n'
short='[Trevox]\nMaxLineLength=60\n'
count=0
for s in "" /s; do
  for c in "" /c; do
    for b in "" /b; do
      compare "project$b$c$s" "$plain" Bench.vbp /y $b $c $s
      count=$((count + 1))
    done
  done
done
for switches in "/s" "/b /s" "/c /s" "/t /s"; do
  compare "short-lines" "$short" Bench.vbp /y $switches
  count=$((count + 1))
done
compare "echo-and-log" "$plain" Bench.vbp /y /z /t /s
count=$((count + 1))
for f in $(ls "$work/tree" | grep -v '\.vbp$' | head -n "$single"); do
  only=$f compare "single-$f" "$plain" "$f" /y
  only=$f compare "single-$f-ts" "$short" "$f" /y /t /s
  count=$((count + 2))
done

echo "$count runs compared, $differences different"
[ "$differences" -eq 0 ]
