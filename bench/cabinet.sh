#!/usr/bin/env bash
# Times cabinet expansion and compression of kolvenar-cli against the peers,
# each pair in one run:
#  - expansion of a ~300 MB self-extracting package (a 256 KiB stub, then a
#    `gcab -c -z` cabinet of 3,000 files in folders) by `kolvenar-cli expand`
#    and by `cabextract` on the same file;
#  - compression of a 50 MB file by `kolvenar-cli compress` and by `gcab -c -z`
#    (time and size).
# Use a Release build of kolvenar-cli:
#
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOLVENAR_GUI=OFF -DKOLVENAR_TESTS=OFF \
#     -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
#   cmake --build build-release --target kolvenar-cli
#   bench/cabinet.sh [build-release/cli/kolvenar-cli] [runs]
#
# Each figure is the best of `runs` (default 3); outputs are removed between runs.
set -euo pipefail

cli=$(realpath "${1:-build-release/cli/kolvenar-cli}")
runs=${2:-3}
for tool in cabextract gcab python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/kolvenar-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
[[ -n ${KOLVENAR_BENCH_KEEP:-} ]] && trap - EXIT && echo "data kept in $work"

# Content like an installation tree's: slices of this machine's programs and
# libraries (code compresses to about half), of generated INF-like text and of
# random bytes (already compressed data), so the package comes to ~300 MB.
python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(1)
pool = bytearray()
for d in ("/usr/bin", "/usr/lib/x86_64-linux-gnu"):
    for name in sorted(os.listdir(d)):
        p = os.path.join(d, name)
        if os.path.isfile(p) and not os.path.islink(p) and len(pool) < 24 << 20:
            with open(p, "rb") as f:
                pool += f.read(2 << 20)
text = "".join(f"file{i:05d}.sys = 1,,,,,,4_,4,1,,,1,4 ; driver {i * 7919 % 10007}\r\n" for i in range(120000)).encode()
pool += text
pool += rng.randbytes(30 << 20)
def piece(size):
    at = rng.randrange(0, len(pool) - size)
    return pool[at:at + size]
tree = os.path.join(work, "tree")
for i in range(3000):
    folder = os.path.join(tree, f"i386/sub{i % 40:02d}" if i % 3 else "i386")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"file{i:04d}.dll"), "wb") as f:
        f.write(piece(rng.randrange(40000, 260000)))
with open(os.path.join(work, "big.bin"), "wb") as f:
    for _ in range(50):
        f.write(piece(1 << 20))
with open(os.path.join(work, "stub.exe"), "wb") as f:
    f.write(b"MZ" + rng.randbytes(256 * 1024 - 2))
PY
(cd "$work/tree" && find . -type f | sed 's|^\./||' | sort >"$work/list" && gcab -c -z "$work/pkg.cab" $(cat "$work/list"))
cat "$work/stub.exe" "$work/pkg.cab" >"$work/package.exe"
rm "$work/pkg.cab"
tree_mb=$(du -sm --apparent-size "$work/tree" | cut -f1)
rm -rf "$work/tree"

source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

clean='rm -rf "$work/out"'
ours_x=$(best_ms "$cli" expand "$work/package.exe" "$work/out")
files=$(find "$work/out" -type f | wc -l)
peer_x=$(best_ms cabextract -q -d "$work/out" "$work/package.exe")
rm -rf "$work/out"

clean='rm -f "$work/ours.cab" "$work/gcab.cab"'
ours_c=$(best_ms "$cli" compress "$work/big.bin" "$work/ours.cab" big.bin)
ours_size=$(stat -c %s "$work/ours.cab")
peer_c=$(best_ms sh -c "cd '$work' && gcab -c -z gcab.cab big.bin")
peer_size=$(stat -c %s "$work/gcab.cab")

echo "expansion: package $(( $(stat -c %s "$work/package.exe") >> 20 )) MiB, $files files, ${tree_mb} MB expanded; best of $runs"
echo "  kolvenar-cli expand:  ${ours_x} ms"
echo "  cabextract:           ${peer_x} ms"
echo "  cabextract / kolvenar: $(ratio "$peer_x" "$ours_x")x"
echo "compression: 50 MiB file; best of $runs"
echo "  kolvenar-cli compress: ${ours_c} ms, ${ours_size} bytes"
echo "  gcab -c -z:            ${peer_c} ms, ${peer_size} bytes"
echo "  gcab / kolvenar time:  $(ratio "$peer_c" "$ours_c")x"
echo "  kolvenar / gcab size:  $(ratio "$ours_size" "$peer_size")"
