#!/usr/bin/env bash
# Hotfix integration against its floor: 30 hotfix packages integrated into a
# generated I386 of about 6,000 files (1,500 of them compressed), timed against
# one cabextract pass over those 1,500 compressed files (integration must read
# every compressed file once); then the same with the tree doubled, to show that
# the cost grows linearly. Release build; each measurement is the best of three
# runs on a freshly copied tree.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KOLVENAR_BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKOLVENAR_BENCH=ON -DKOLVENAR_TESTS=OFF \
  -DKOLVENAR_GUI=OFF >/dev/null
cmake --build "$build" --target hotfix_bench_driver >/dev/null
driver=$PWD/$build/bench/hotfix_bench_driver

work=$(mktemp -d "${TMPDIR:-/tmp}/kolvenar-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.4f", b - a }'; }
best() { printf '%s\n' "$@" | sort -g | head -n1; }

measure() {  # files compressed packages
  local data=$work/data-$1 ours=() theirs=() compressed start
  "$driver" generate "$data" "$1" "$2" "$3"
  mapfile -t compressed <"$data/compressed.lst"
  for run in 1 2 3; do
    rm -rf "$work/run" && mkdir -p "$work/run" && cp -a "$data/I386" "$data/hotfix" "$data/QCHAIN.EXE" "$work/run/"
    start=$(now)
    "$driver" integrate "$work/run" >"$work/integrate.log" 2>/dev/null
    ours+=("$(since "$start")")

    rm -rf "$work/out" && mkdir -p "$work/out"
    start=$(now)
    cabextract -q -d "$work/out" "${compressed[@]}" >/dev/null 2>&1
    theirs+=("$(since "$start")")
  done
  local o t
  o=$(best "${ours[@]}")
  t=$(best "${theirs[@]}")
  printf '%6d files (%5d compressed), %d packages: integration %.3f s, cabextract pass %.3f s, ratio %.2f (%s)\n' \
    "$1" "$2" "$3" "$o" "$t" "$(awk -v a="$o" -v b="$t" 'BEGIN { print a / b }')" "$(head -n1 "$work/integrate.log")"
  rm -rf "$data" "$work/run" "$work/out"
}

measure 6000 1500 30
measure 12000 3000 30
