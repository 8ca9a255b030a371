#!/usr/bin/env bash
# Times CD image mastering by `kolvenar-cli master` against
# `xorriso -as mkisofs -iso-level 3 -no-emul-boot ...` on the same tree, in one
# run, and compares the two image sizes. The tree is a CD as a build leaves it
# with two systems of about 300 MB each whose files are mostly identical (the
# second source is the first with one file in twenty changed), plus their boot
# folders and tag files.
# Use a Release build of kolvenar-cli:
#
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOLVENAR_GUI=OFF -DKOLVENAR_TESTS=OFF
#   cmake --build build-release --target kolvenar-cli
#   bench/mastering.sh [build-release/cli/kolvenar-cli] [runs]
#
# Each figure is the best of `runs` (default 3); the tree is read once before
# timing, so both tools read it from the page cache. Images are removed between runs.
set -euo pipefail

cli=$(realpath "${1:-build-release/cli/kolvenar-cli}")
runs=${2:-3}
for tool in xorriso python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/kolvenar-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import os, random, shutil, sys
work = sys.argv[1]
rng = random.Random(1)
root = os.path.join(work, "ROOT")
first = os.path.join(root, "INSTALLS", "WXP1")
# ~2,400 files from 1 KB to 400 KB (about 300 MB), in folders like an I386 tree.
# Random bytes: neither tool compresses, and no two files are equal by chance.
total = 0
i = 0
while total < 300 << 20:
    sub = ["I386", "I386/SYSTEM32", "I386/LANG", "I386/WIN9XMIG/PANDA", "DOCS", "SUPPORT/TOOLS"][i % 6]
    size = rng.randrange(1000, 400000)
    path = os.path.join(first, sub, f"FILE{i:05d}.DL_")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rng.randbytes(size))
    total += size
    i += 1
second = os.path.join(root, "INSTALLS", "WXP2")
shutil.copytree(first, second)
for n, (folder, _, names) in enumerate(sorted(os.walk(second))):
    for name in sorted(names)[n % 20::20]:  # one file in twenty: an updated version
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(rng.randbytes(os.path.getsize(path)))
for system in ("WXP1", "WXP2"):
    boot = os.path.join(root, system)
    os.makedirs(boot)
    for name, size in (("SETUPLDR.BIN", 260000), ("TXTSETUP.SIF", 450000), ("BOOTFIX.BIN", 512)):
        with open(os.path.join(boot, name), "wb") as f:
            f.write(rng.randbytes(size))
for tag in ("WIN51", "WIN51IP", "WIN51IP.SP2"):
    open(os.path.join(root, tag), "wb").write(b"\r\n")
with open(os.path.join(work, "BOOTSECTOR.BIN"), "wb") as f:
    f.write(rng.randbytes(2046) + b"\x55\xaa")
PY
tree_mb=$(du -sm --apparent-size "$work/ROOT" | cut -f1)
files=$(find "$work/ROOT" -type f | wc -l)
find "$work/ROOT" -type f -exec cat {} + >/dev/null

source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

clean='rm -f "$work/ours.iso" "$work/peer.iso"'
ours=$(best_ms "$cli" master -LWINDOWS -YD -N -H -X -OCI -M "-B$work/BOOTSECTOR.BIN" "$work/ROOT" "$work/ours.iso")
ours_size=$(stat -c %s "$work/ours.iso")
peer=$(best_ms xorriso -as mkisofs -iso-level 3 -no-emul-boot -boot-load-size 4 -b BOOTSECTOR.BIN -c BOOT.CAT \
  -V WINDOWS -o "$work/peer.iso" -graft-points "/=$work/ROOT" "/BOOTSECTOR.BIN=$work/BOOTSECTOR.BIN")
peer_size=$(stat -c %s "$work/peer.iso")

echo "mastering: ${tree_mb} MB in $files files (two systems, mostly identical); best of $runs"
echo "  kolvenar-cli master:   ${ours} ms, image ${ours_size} bytes"
echo "  xorriso -as mkisofs:   ${peer} ms, image ${peer_size} bytes"
echo "  xorriso / kolvenar time: $(ratio "$peer" "$ours")x"
echo "  kolvenar / xorriso size: $(ratio "$ours_size" "$peer_size")"
