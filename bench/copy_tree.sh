#!/usr/bin/env bash
# Times CopyTree against `cp -a` on the same generated tree, in one run.
# Usage: bench/copy_tree.sh [work folder]   (needs about 1.5 GB free)
# Builds a Release (non-sanitizer) tree in build-bench/ first.
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-$(mktemp -d /tmp/kolvenar-bench-XXXXXX)}
rounds=${ROUNDS:-4}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOLVENAR_BENCH=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKOLVENAR_TESTS=OFF -DKOLVENAR_GUI=OFF >/dev/null
cmake --build build-bench --target copy_tree_bench >/dev/null
bench=build-bench/bench/copy_tree_bench

mkdir -p "$work"
trap 'rm -rf "$work"/dst; [ -n "${KEEP_TREE:-}" ] || rm -rf "$work"/src' EXIT
if [ ! -d "$work/src" ]; then "$bench" generate "$work/src"; fi
cat $(find "$work/src" -type f) >/dev/null  # both start from a warm cache

calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
seconds() { local t0 t1; sync; t0=$(date +%s.%N); "$@"; t1=$(date +%s.%N); calc "$t1 - $t0"; }
run_cp() { rm -rf "$work/dst"; t=$(seconds cp -a "$work/src" "$work/dst"); echo "round $1: cp -a    ${t}s"; }
run_ct() { rm -rf "$work/dst"; t=$(seconds "$bench" copy "$work/src" "$work/dst"); echo "round $1: CopyTree ${t}s"; }
run_cp warm-up >/dev/null; run_ct warm-up >/dev/null  # page cache and write-back settle
cp_total=0; ct_total=0
for round in $(seq "$rounds"); do
  # Alternate which goes first, so that neither always meets the other's write-back.
  if [ $((round % 2)) -eq 1 ]; then
    run_cp "$round"; cp_total=$(calc "$cp_total + $t"); run_ct "$round"; ct_total=$(calc "$ct_total + $t")
  else
    run_ct "$round"; ct_total=$(calc "$ct_total + $t"); run_cp "$round"; cp_total=$(calc "$cp_total + $t")
  fi
done
diff -r "$work/src" "$work/dst" >/dev/null && echo "copies identical"
echo "mean of $rounds: cp -a $(calc "$cp_total / $rounds")s, CopyTree $(calc "$ct_total / $rounds")s," \
  "ratio CopyTree / cp -a = $(calc "$ct_total / $cp_total")"
