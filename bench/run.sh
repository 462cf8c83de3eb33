#!/usr/bin/env bash
# Times the mappers on the sample data against the floor of copying the same output bytes
# (cp of the files they write), in the same run, and prints the ratios.
#
#   bench/run.sh            needs hyperfine and python3 with Pillow (Debian: hyperfine python3-pil)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-bench"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZK_TESTS=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" --target holvik garvik make_sample_data > /dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/make_sample_data" "$work/data" > /dev/null
pc="$work/data/pc"
mkdir -p "$work/ega" "$work/rgba" "$work/towns" "$work/copy"

# A 32-bit shape bitmap of 16 x 16-pixel tiles made from the EGA tiles: 64 MiB per world map.
/usr/bin/python3 - "$work/data/pc-decoded/TILES.16" "$work/shape32.bmp" <<'PY'
import sys
from PIL import Image
raw = open(sys.argv[1], "rb").read()
palette = [(0,0,0),(0,0,170),(0,170,0),(0,170,170),(170,0,0),(170,0,170),(170,85,0),(170,170,170),
           (85,85,85),(85,85,255),(85,255,85),(85,255,255),(255,85,85),(255,85,255),(255,255,85),(255,255,255)]
image = Image.new("RGBA", (256, 512))
pixels = image.load()
for n in range(512):
    for y in range(16):
        for x in range(16):
            byte = raw[n * 128 + y * 8 + x // 2]
            value = byte >> 4 if x % 2 == 0 else byte & 15
            pixels[(n % 16) * 16 + x, (n // 16) * 16 + y] = palette[value] + (255,)
image.save(sys.argv[2])
PY

holvik="$build/programs/holvik"
garvik="$build/programs/garvik"
# Outputs to copy for the floors.
(cd "$work/ega" && "$holvik" --overwrite --ega "$pc/TILES.16" "$pc")
(cd "$work/rgba" && "$holvik" --overwrite -s "$work/shape32.bmp" "$pc")
(cd "$work/towns" && "$garvik" --overwrite --ega "$pc/TILES.16" "$pc" > /dev/null)

hyperfine --warmup 2 --min-runs 10 --export-json "$work/times.json" \
  -n "holvik EGA" "cd $work/ega && $holvik --overwrite --ega $pc/TILES.16 $pc" \
  -n "copy EGA maps" "cp $work/ega/zk.Britannia.bmp $work/ega/zk.Underworld.bmp $work/copy/" \
  -n "holvik 32-bit shapes" "cd $work/rgba && $holvik --overwrite -s $work/shape32.bmp $pc" \
  -n "copy 32-bit maps" "cp $work/rgba/zk.Britannia.bmp $work/rgba/zk.Underworld.bmp $work/copy/" \
  -n "garvik EGA, all groups" "cd $work/towns && $garvik --overwrite --ega $pc/TILES.16 $pc > /dev/null" \
  -n "copy settlement maps" "cp $work/towns/*.bmp $work/copy/"

/usr/bin/python3 - "$work/times.json" <<'PY'
import json, sys
times = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
for program, floor in (("holvik EGA", "copy EGA maps"), ("holvik 32-bit shapes", "copy 32-bit maps"),
                       ("garvik EGA, all groups", "copy settlement maps")):
    print("%-24s %8.1f ms   floor %8.1f ms   ratio %.2f" % (program, times[program] * 1000, times[floor] * 1000,
                                                            times[program] / times[floor]))
PY
