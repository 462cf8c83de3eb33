#!/usr/bin/env bash
# Times zkatlas on the demo's full output (every edition, out/) against `vips dzsave
# --suffix .png` making tile pyramids of the same maps from PNG copies, and prints the ratio
# of the medians and the peak resident memory of each beside the limit (the largest map's
# pixels, one byte each for indexed maps, three for others, plus 64 MiB).
#
#   bench/atlas.sh [RUNS]    RUNS: timed runs per command (default 3)
#
# Runs demo.sh first when out/ is missing. The files are written into /dev/shm when it
# exists, else /tmp; set ZK_BENCH_DIR to measure on another file system.
#
# Needs hyperfine, GNU time, vips and Pillow; on Debian:
#   apt-get install hyperfine time libvips-tools python3-pil
set -euo pipefail
runs=${1:-3}
missing=()
command -v hyperfine > /dev/null || missing+=(hyperfine)
[ -x /usr/bin/time ] || missing+=(time)
command -v vips > /dev/null || missing+=(libvips-tools)
/usr/bin/python3 -c 'import PIL' 2> /dev/null || missing+=(python3-pil)
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench/atlas.sh needs: ${missing[*]}"
  echo "install them with:  sudo apt-get install ${missing[*]}"
  exit 1
fi

top=$(cd "$(dirname "$0")/.." && pwd)
[ -d "$top/out" ] || "$top/demo.sh" > /dev/null
build="$top/build-bench"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZK_TESTS=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" --target zkatlas > /dev/null

work=$(mktemp -d -p "${ZK_BENCH_DIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )}")
trap 'rm -rf "$work"' EXIT

# PNG copies of the maps, and the command that makes a pyramid of each with vips.
maps=()
while IFS= read -r -d '' map; do maps+=("$map"); done < <(cd "$top/out" && find . -name 'zk.*.bmp' -print0 | sort -z)
: > "$work/dzsave.sh"
for map in "${maps[@]}"; do
  png="$work/png/${map%.bmp}.png"
  mkdir -p "$(dirname "$png")" "$work/dz/$(dirname "$map")"
  vips copy "$top/out/$map" "$png"
  printf 'vips dzsave %q %q --suffix .png\n' "$png" "$work/dz/${map%.bmp}" >> "$work/dzsave.sh"
done
echo "${#maps[@]} maps"

zkatlas="$build/programs/zkatlas"
hyperfine --runs "$runs" --export-json "$work/times.json" \
  --prepare "rm -rf '$work/atlas' '$work/dz'/*/*/*; sync" \
  -n zkatlas "$zkatlas -o '$work/atlas' '$top/out' > /dev/null" \
  -n "zkatlas (PNG)" "$zkatlas -o '$work/atlas' '$work/png' > /dev/null" \
  -n "vips dzsave" "sh '$work/dzsave.sh'"

# Peak memory: each run once more under GNU time.
peak() { /usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -1; }
rm -rf "$work/atlas"
zk_peak=$(peak "$zkatlas" -o "$work/atlas" "$top/out")
vips_peak=$(peak sh "$work/dzsave.sh")
/usr/bin/python3 - "$work/times.json" "$zk_peak" "$vips_peak" "$top/out" <<'PY'
import json, pathlib, sys
from PIL import Image
times = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
zk_peak, vips_peak = int(sys.argv[2]), int(sys.argv[3])
largest = 0  # KiB of the largest map's pixels in memory: a byte an index, three for colours
for path in pathlib.Path(sys.argv[4]).rglob("zk.*.bmp"):
    with Image.open(path) as map:
        largest = max(largest, map.width * map.height * (1 if map.mode in ("P", "1", "L") else 3) // 1024)
for name, median in times.items():
    print(f"{name:16} {median:7.2f} s  ({median / times['vips dzsave']:.2f} x vips dzsave)")
print(f"peak memory: zkatlas {zk_peak / 1024:.0f} MiB, vips dzsave {vips_peak / 1024:.0f} MiB;"
      f" limit {largest / 1024:.0f} MiB of the largest map + 64 MiB = {largest / 1024 + 64:.0f} MiB")
PY
