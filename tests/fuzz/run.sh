#!/usr/bin/env bash
# Builds every libFuzzer harness (each build target named *_fuzz) with clang under the address
# and undefined-behaviour checks, and runs each for SECONDS on its own corpus, kept under the
# build folder and seeded with the sample data and the harness's own seed. Ends with one line
# per harness; exits 1 when any harness found something (its input is kept under findings/).
#
# Usage: tests/fuzz/run.sh SECONDS [BUILD_FOLDER [HARNESS...]]   (default: build-fuzz at the top;
#        every harness)
#
# Seeds: the harness's own (written when ZK_FUZZ_SEED names a file, see fuzz_support.hpp),
# and the sample files named on a line "// Fuzz seeds: GLOB ..." of the harness's source,
# relative to the sample data folder; without that line, every sample file. A line
# "// Fuzz options: ..." adds libFuzzer options (such as -max_len=N) to the harness's runs.
set -euo pipefail
seconds=${1:?usage: tests/fuzz/run.sh SECONDS [BUILD_FOLDER [HARNESS...]]}
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(mkdir -p "${2:-$top/build-fuzz}" && cd "${2:-$top/build-fuzz}" && pwd)
work=$build/fuzz

cmake -S "$top" -B "$build" -G "Unix Makefiles" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DZK_FUZZ=ON -DZK_TESTS=ON > /dev/null
mapfile -t harnesses < <(cmake --build "$build" --target help | sed -n 's/^\.\.\. \([A-Za-z0-9_]*_fuzz\)$/\1/p' | sort)
[ $# -le 2 ] || harnesses=("${@:3}")
[ ${#harnesses[@]} -gt 0 ] || { echo "no harness found"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target make_sample_data "${harnesses[@]}" > "$build/fuzz-build.log" 2>&1 ||
  { tail -n 30 "$build/fuzz-build.log"; exit 1; }

# The sample data, and small BMP files of each bit count and PNG files when ImageMagick is there.
samples=$work/sample
rm -rf "$samples"
"$build/tools/make_sample_data" "$samples" > /dev/null
if command -v convert > /dev/null; then
  mkdir -p "$samples/bmp"
  convert -size 16x8 gradient:black-white -type bilevel -compress none BMP3:"$samples/bmp/1bit.bmp"
  convert -size 16x8 plasma:fractal -seed 1 -colors 16 -type palette -compress none BMP3:"$samples/bmp/4bit.bmp"
  convert -size 16x8 plasma:fractal -seed 2 -colors 200 -type palette -compress none BMP3:"$samples/bmp/8bit.bmp"
  convert -size 15x7 plasma:fractal -seed 3 -type truecolor -compress none BMP3:"$samples/bmp/24bit.bmp"
  mkdir -p "$samples/png"
  convert "$samples/bmp/4bit.bmp" PNG8:"$samples/png/indexed.png"
  convert "$samples/bmp/24bit.bmp" PNG24:"$samples/png/rgb.png"
fi

# A line: name, runs, runs per second of time and of processor time, coverage, findings.
summary=()
found=0
for name in "${harnesses[@]}"; do
  binary=$(find "$build" -type f -name "$name" -perm -u+x | head -n 1)
  source=$(find "$top/tests" -name "$name.cpp" | head -n 1)
  corpus=$work/corpus/$name
  findings=$work/findings/$name
  log=$work/logs/$name.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"

  ZK_FUZZ_SEED=$corpus/own-seed "$binary" -runs=0 > /dev/null 2>&1 || true
  seeds=$(sed -n 's|^// Fuzz seeds:||p' "$source" 2> /dev/null | head -n 1)
  read -r -a options < <(sed -n 's|^// Fuzz options:||p' "$source" 2> /dev/null | head -n 1) || true
  if [ -z "$seeds" ] && ! grep -q '^// Fuzz seeds:' "$source" 2> /dev/null; then seeds='*/* */*/*'; fi
  (cd "$samples" && for file in $seeds; do
     [ -f "$file" ] && cp "$file" "$corpus/sample-${file//\//-}"
   done) || true

  marker=$(mktemp)
  TIMEFORMAT='%U %S'
  status=0
  { time "$binary" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 -artifact_prefix="$findings/" \
      ${options[@]+"${options[@]}"} "$corpus" > "$log" 2>&1 ; } 2> "$log.time" || status=$?
  new=$(find "$findings" -type f -newer "$marker" | wc -l)
  rm -f "$marker"
  [ "$status" -eq 0 ] || [ "$new" -gt 0 ] || new=1  # a harness that failed without an input
  [ "$new" -eq 0 ] || { found=1; echo "$name: finding, see $log and $findings"; }

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 | awk '{print $2 " edges, " $4 " features"}')
  cpu=$(awk '{print $1 + $2}' "$log.time")
  per_cpu=$(awk -v r="${runs:-0}" -v c="$cpu" 'BEGIN { printf "%d", (c > 0 ? r / c : 0) }')
  summary+=("$(printf '%-22s runs %10s  runs/s %7s (%7s per processor second)  coverage %s  findings %s' \
    "$name" "${runs:-0}" "${rate:-0}" "$per_cpu" "${coverage:-none}" "$new")")
done

printf '%s\n' "${summary[@]}"
exit "$found"
