#!/usr/bin/env bash
# Times the INF reader on a TXTSETUP.SIF of real size (20,000 lines of
# [SourceDisksFiles] plus [Strings]) through `kolvenar-cli inf`, against Python's
# configparser reading the same file as a peer.
#
#   bench/inf_reader_bench.sh [path/to/kolvenar-cli] [runs]
#
# Two measures for kolvenar-cli: opening and indexing only (printing a small
# section), and opening plus printing all 20,000 lines with every field.
set -euo pipefail

cli=${1:-build/cli/kolvenar-cli}
runs=${2:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sif=$work/TXTSETUP.SIF

python3 - "$sif" <<'PY'
import sys
lines = ['[Version]', 'signature = "$Windows NT$"', '', '[SetupData]', 'SetupSourcePath = "\\"', '',
         '[SourceDisksNames.x86]', '_1 = %cdname%,%cdtagfile%,,\\i386', '', '[SourceDisksFiles]']
for i in range(20000):
    lines.append(f'file{i:05d}.sys = 1,,,,,,4_,4,1,,,1,4   ; driver {i}')
lines += ['', '[Strings]', 'cdname = "Windows XP Professional CD-ROM"', 'cdtagfile = "\\win51ip"']
open(sys.argv[1], 'w', newline='\r\n').write('\n'.join(lines) + '\n')
PY

# Mean wall time of a command over $runs runs, in milliseconds.
mean_ms() {
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null; done
  end=$(date +%s%N)
  echo $(( (end - start) / runs / 1000000 ))
}

open_ms=$(mean_ms "$cli" inf "$sif" SourceDisksNames.x86)
all_ms=$(mean_ms "$cli" inf "$sif" SourceDisksFiles)
peer_ms=$(mean_ms python3 -c '
import configparser, sys
p = configparser.ConfigParser(strict=False, interpolation=None, inline_comment_prefixes=(";",))
p.read(sys.argv[1])
for k, v in p["SourceDisksFiles"].items(): v.split(",")
' "$sif")

echo "TXTSETUP.SIF: $(wc -l <"$sif") lines, $(stat -c %s "$sif") bytes; $runs runs each"
echo "kolvenar-cli inf, open and index:        ${open_ms} ms"
echo "kolvenar-cli inf, all 20,000 lines out:  ${all_ms} ms"
echo "python3 configparser (peer):             ${peer_ms} ms"
if [[ $open_ms -gt 0 ]]; then
  echo "peer / kolvenar (open and index):        $(awk "BEGIN{printf \"%.1f\", $peer_ms/$open_ms}")x"
fi
echo "peer / kolvenar (all lines printed):     $(awk "BEGIN{printf \"%.1f\", $peer_ms/($all_ms>0?$all_ms:1)}")x"
