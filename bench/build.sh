#!/usr/bin/env bash
# Times a whole build against its peer, in one run:
#  - kolvenar-cli build of two generated install sources of about 300 MB each
#    (make-demo-source with filler files, different bytes in each; no service
#    pack), which copies both, fills the boot folders, writes the boot sector and
#    masters the image;
#  - the baseline: `cp -a` of both sources into a tree, then
#    `xorriso -as mkisofs` of that tree with the same boot sector.
# Peak memory of each from /usr/bin/time -v. Use a Release build:
#
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
#     -DCMAKE_C_COMPILER=clang -DKOLVENAR_GUI=OFF -DKOLVENAR_TESTS=OFF
#   cmake --build build-release --target kolvenar-cli
#   bench/build.sh [build-release/cli/kolvenar-cli] [MB per source]
set -euo pipefail

cli=$(realpath "${1:-build-release/cli/kolvenar-cli}")
mb=${2:-300}
for tool in xorriso /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/kolvenar-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$cli" make-demo-source "$work/xp" --name "Windows XP Professional" --filler-mb "$mb" >/dev/null
"$cli" make-demo-source "$work/w2k3" --name "Windows Server 2003" --version 5.2.3790.0 --filler-mb "$mb" >/dev/null
echo "sources: $(du -sh "$work/xp" | cut -f1) and $(du -sh "$work/w2k3" | cut -f1), $(find "$work/xp" -type f | wc -l) files each"

# Both commands read the sources from the page cache.
warm() { find "$work/xp" "$work/w2k3" -type f -exec cat {} + >/dev/null; }
measure() {  # label, command...: prints seconds and peak kilobytes
  local label=$1; shift
  warm
  sync
  /usr/bin/time -v -o "$work/$label.time" "$@" >"$work/$label.log" 2>&1 || { cat "$work/$label.log"; exit 1; }
  local wall rss
  wall=$(grep 'Elapsed (wall clock)' "$work/$label.time" | awk '{print $NF}' | awk -F: '{ if (NF == 3) print $1*3600+$2*60+$3; else print $1*60+$2 }')
  rss=$(grep 'Maximum resident set size' "$work/$label.time" | awk '{print $NF}')
  echo "$wall $rss"
}

read -r ours_s ours_kb < <(measure ours "$cli" build --temp "$work/temp" --iso "$work/ours.iso" \
  --system "$work/xp" --system "$work/w2k3")

mkdir -p "$work/peer/ROOT/INSTALLS"
cp "$work/temp/BOOTSECTOR.BIN" "$work/peer/ROOT/BOOTSECTOR.BIN"
read -r peer_s peer_kb < <(measure peer sh -c "cp -a '$work/xp' '$work/peer/ROOT/INSTALLS/WXPP' && \
  cp -a '$work/w2k3' '$work/peer/ROOT/INSTALLS/WS2K' && \
  xorriso -as mkisofs -quiet -iso-level 3 -no-emul-boot -boot-load-size 4 -b BOOTSECTOR.BIN \
    -o '$work/peer.iso' '$work/peer/ROOT'")

ours_size=$(stat -c %s "$work/ours.iso")
peer_size=$(stat -c %s "$work/peer.iso")
echo "kolvenar-cli build:        ${ours_s} s, peak ${ours_kb} KB, image ${ours_size} bytes"
echo "cp -a + xorriso -as mkisofs: ${peer_s} s, peak ${peer_kb} KB, image ${peer_size} bytes"
awk -v a="$ours_s" -v b="$peer_s" -v ma="$ours_kb" 'BEGIN {
  printf "time ratio (kolvenar / baseline): %.2f\n", a / b
  printf "peak memory of kolvenar-cli: %.1f MB\n", ma / 1024 }'
