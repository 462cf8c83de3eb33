#!/usr/bin/env bash
# Times every mapper on the sample data against the floor of copying the same output files
# safely (each to a new file in the target folder, renamed over the earlier copy, in one
# process: bench/safe_copy.cpp), in the same run, and prints the ratios of the medians and
# each program's peak resident memory beside its largest output file. It also measures
# what decoding the compressed tile file adds to a run (holvik on the compressed and on
# the decoded "TILES.16"). Every timed run starts after a sync, so that no command pays for
# writing back what an earlier one wrote.
#
#   bench/run.sh [--tmpfs] [RUNS]    RUNS: timed runs per command (default 15, at least 7), taken in rounds of 3
#
# The files (about 1 GiB with the copies) are written where users write their maps: on the
# disk that holds the current directory, in a temporary folder there. --tmpfs measures in
# memory instead (/dev/shm), the programs' own work without the disk's; ZK_BENCH_DIR names
# any other place.
#
# Needs hyperfine, GNU time (/usr/bin/time) and python3 with Pillow; on Debian:
#   apt-get install hyperfine time python3-pil
set -euo pipefail
place=$PWD
if [ "${1:-}" = "--tmpfs" ]; then
  place=/dev/shm
  shift
fi
runs=${1:-15}
missing=()
command -v hyperfine > /dev/null || missing+=(hyperfine)
[ -x /usr/bin/time ] || missing+=(time)
/usr/bin/python3 -c 'import PIL' 2> /dev/null || missing+=(python3-pil)
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench/run.sh needs: ${missing[*]}"
  echo "install them with:  sudo apt-get install ${missing[*]}"
  exit 1
fi

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-bench"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZK_TESTS=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" --target holvik garvik eskvik felvik calvik dunvik brevik make_sample_data \
  safe_copy > /dev/null

work=$(mktemp -d -p "${ZK_BENCH_DIR:-$place}" zk-bench-XXXXXX)
echo "measuring in $work ($(stat -f -c %T "$work"))"
trap 'rm -rf "$work"' EXIT
"$build/tools/make_sample_data" "$work/data" > /dev/null
pc="$work/data/pc"
x68k="$work/data/x68k"
apple2="$work/data/apple2"

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

b="$build/programs"
disks="-d1 $apple2/zk-program.dsk -d2 $apple2/zk-castle.dsk -d3 $apple2/zk-dwelling.dsk -d4 $apple2/zk-keep.dsk -d5 $apple2/zk-towne.dsk"
# name | directory | command (run in the directory, writing its maps there)
jobs=(
  "holvik EGA|ega|$b/holvik --overwrite --ega $pc/TILES.16 $pc"
  "holvik 32-bit shapes|rgba|$b/holvik --overwrite -s $work/shape32.bmp $pc"
  "garvik EGA, all groups|towns|$b/garvik --overwrite --ega $pc/TILES.16 $pc"
  "eskvik|eskvik|$b/eskvik --overwrite -g -i -d $x68k/zk-britannia.xdf"
  "felvik|felvik|$b/felvik --overwrite -g -i -d $x68k/ZK_Britania.fdi"
  "calvik|calvik|$b/calvik --overwrite -d $x68k/zk-britannia.xdf"
  "dunvik|dunvik|$b/dunvik --overwrite -d $x68k/ZK_Britania.fdi"
  "brevik 16 colours|brevik0|$b/brevik --overwrite $disks"
  "brevik blurred|brevik1|$b/brevik --overwrite -B $disks"
  "brevik 24-bit|brevik2|$b/brevik --overwrite -B -B $disks"
)

# Each program and its floor are timed in turns, a few runs each per round, so that a slow
# spell of the machine falls on both; neither goes through a shell.
rounds=$(( (runs + 2) / 3 ))
for round in $(seq 1 "$rounds"); do
  for job in "${jobs[@]}"; do
    IFS='|' read -r name dir command <<< "$job"
    if [ "$round" -eq 1 ]; then
      mkdir -p "$work/$dir" "$work/copy-$dir"
      (cd "$work/$dir" && $command > /dev/null)  # the outputs the floor copies
      cp "$work/$dir"/*.bmp "$work/copy-$dir/"     # and the copies it replaces
    fi
    copy="$build/bench/safe_copy"
    for file in "$work/$dir"/*.bmp; do copy+=" $(printf '%q' "$file")"; done
    (cd "$work/$dir" && hyperfine -N --style none --warmup 1 --runs 3 --prepare sync \
      --export-json "$work/times-$round-$dir.json" -n "$name" "$command" -n "copy: $name" "$copy $work/copy-$dir/" \
      > /dev/null)
  done
  # What decoding the compressed tile file costs: the same run on the decoded file.
  (cd "$work/ega" && hyperfine -N --style none --warmup 1 --runs 3 --prepare sync \
    --export-json "$work/times-$round-decode.json" \
    -n "holvik EGA, compressed tiles" "$b/holvik --overwrite --ega $pc/TILES.16 $pc" \
    -n "holvik EGA, decoded tiles" "$b/holvik --overwrite --ega $work/data/pc-decoded/TILES.16 $pc" > /dev/null)
done

# Peak resident memory of each program, beside its largest output file.
for job in "${jobs[@]}"; do
  IFS='|' read -r name dir command <<< "$job"
  peak=$(cd "$work/$dir" && /usr/bin/time -f %M $command 2>&1 > /dev/null | tail -1)
  largest=$(ls -l "$work/$dir"/*.bmp | awk '{ if ($5 > max) max = $5 } END { print int(max / 1024) }')
  echo "$name|$peak|$largest"
done > "$work/memory.txt"

/usr/bin/python3 - "$work/memory.txt" "$work"/times-*.json <<'PY'
import json, statistics, sys
runs = {}
for path in sys.argv[2:]:
    for result in json.load(open(path))["results"]:
        runs.setdefault(result["command"], []).extend(result["times"])
times = {command: statistics.median(values) for command, values in runs.items()}
memory = {}
for line in open(sys.argv[1]):
    name, peak, largest = line.strip().split("|")
    memory[name] = (int(peak), int(largest))
count = min(len(values) for values in runs.values())
print("%-24s %10s %10s %7s %12s %12s" % ("median of %d runs" % count, "program", "safe copy", "ratio", "peak memory",
                                         "largest file"))
for name, (peak, largest) in memory.items():
    program, floor = times[name], times["copy: " + name]
    print("%-24s %7.1f ms %7.1f ms %7.2f %9.1f MiB %9.1f MiB" % (name, program * 1000, floor * 1000, program / floor,
                                                                  peak / 1024, largest / 1024))
compressed, decoded = times["holvik EGA, compressed tiles"], times["holvik EGA, decoded tiles"]
print("decoding the compressed TILES.16 adds %.2f ms to holvik (median %.1f ms against %.1f ms)" % (
    (compressed - decoded) * 1000, compressed * 1000, decoded * 1000))
PY
