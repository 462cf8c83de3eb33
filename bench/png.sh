#!/usr/bin/env bash
# Times the largest maps written with --png against their floor: a program that reads the
# BMP files of the same run, compresses their PNG scanlines (filter type 0) with libdeflate
# at level 6 and writes the PNG files (bench/png_floor.cpp). Program and floor are timed in
# turns (paired runs), so that a slow spell of the machine falls on both. Prints the ratio of
# the median times, the ratio of the file sizes, and the program's peak resident memory
# against the largest uncompressed image of the run plus 16 MiB.
#
#   bench/png.sh [RUNS]    RUNS: timed runs per command (default 15), taken in rounds of 3
#
# Needs hyperfine, GNU time (/usr/bin/time) and libdeflate; on Debian:
#   apt-get install hyperfine time libdeflate-dev
set -euo pipefail
runs=${1:-15}
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-bench"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZK_TESTS=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" --target holvik eskvik brevik make_sample_data > /dev/null
g++ -std=c++20 -O2 "$top/bench/png_floor.cpp" -o "$build/png_floor" -ldeflate

work=$(mktemp -d -p "${ZK_BENCH_DIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )}")
trap 'rm -rf "$work"' EXIT
"$build/tools/make_sample_data" "$work/data" > /dev/null
d="$work/data"
b="$build/programs"
disks="-d1 $d/apple2/zk-program.dsk -d2 $d/apple2/zk-castle.dsk -d3 $d/apple2/zk-dwelling.dsk"
disks+=" -d4 $d/apple2/zk-keep.dsk -d5 $d/apple2/zk-towne.dsk"
# name | directory | command (run in the directory, writing its maps there)
jobs=(
  "holvik EGA|ega|$b/holvik --overwrite --ega $d/pc/TILES.16 $d/pc"
  "eskvik|eskvik|$b/eskvik --overwrite -g -i -d $d/x68k/zk-britannia.xdf"
  "brevik 24-bit|brevik|$b/brevik --overwrite -B -B $disks"
)

rounds=$(( (runs + 2) / 3 ))
for round in $(seq 1 "$rounds"); do
  for job in "${jobs[@]}"; do
    IFS='|' read -r name dir command <<< "$job"
    if [ "$round" -eq 1 ]; then
      mkdir -p "$work/$dir/floor"
      (cd "$work/$dir" && $command > /dev/null && $command --png > /dev/null)  # the BMP files the floor reads
    fi
    floor="$build/png_floor"
    for file in "$work/$dir"/*.bmp; do
      base=$(basename "$file" .bmp)
      floor+=" $(printf '%q' "$file") $(printf '%q' "$work/$dir/floor/$base.png")"
    done
    (cd "$work/$dir" && hyperfine -N --style none --warmup 1 --runs 3 \
      --export-json "$work/times-$round-$dir.json" -n "$name" "$command --png" -n "floor: $name" "$floor" > /dev/null)
  done
done

for job in "${jobs[@]}"; do
  IFS='|' read -r name dir command <<< "$job"
  peak=$(cd "$work/$dir" && /usr/bin/time -f %M $command --png 2>&1 > /dev/null | tail -1)
  # The largest image's pixel data, as the BMP stores it.
  image=$(ls -l "$work/$dir"/*.bmp | awk '{ if ($5 > max) max = $5 } END { print max }')
  program_size=$(cat "$work/$dir"/*.png | wc -c)
  floor_size=$(cat "$work/$dir"/floor/*.png | wc -c)
  echo "$name|$peak|$image|$program_size|$floor_size"
done > "$work/figures.txt"

/usr/bin/python3 - "$work/figures.txt" "$work"/times-*.json <<'PY'
import json, statistics, sys
runs = {}
for path in sys.argv[2:]:
    for result in json.load(open(path))["results"]:
        runs.setdefault(result["command"], []).extend(result["times"])
times = {command: statistics.median(values) for command, values in runs.items()}
count = min(len(values) for values in runs.values())
print("%-16s %10s %10s %6s %11s %11s %6s %10s %10s" % ("median of %d" % count, "--png", "floor", "time",
      "PNG bytes", "floor bytes", "size", "peak", "bound"))
for line in open(sys.argv[1]):
    name, peak, image, size, floor_size = line.strip().split("|")
    program, floor = times[name], times["floor: " + name]
    bound = int(image) / 1024 + 16 * 1024
    print("%-16s %7.1f ms %7.1f ms %5.2fx %11d %11d %5.3fx %6.1f MiB %6.1f MiB" % (
        name, program * 1000, floor * 1000, program / floor, int(size), int(floor_size), int(size) / int(floor_size),
        int(peak) / 1024, bound / 1024))
PY
