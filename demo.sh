#!/usr/bin/env bash
# Builds the mappers, writes the sample data set into sample/ and draws its maps into out/:
# the two world maps (with all moon gates and the Underworld items) and the 64 settlement
# levels at noon.
set -euo pipefail
cd "$(dirname "$0")"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target holvik garvik make_sample_data

build/tools/make_sample_data sample
mkdir -p out/world out/settlements
pc=../../sample/pc
(cd out/world && ../../build/programs/holvik --overwrite -g -i --ega "$pc/TILES.16" "$pc")
(cd out/settlements && ../../build/programs/garvik --overwrite --ega "$pc/TILES.16" "$pc" > trace.txt)

echo "world maps:       $(ls out/world | tr '\n' ' ')"
echo "settlement maps:  $(ls out/settlements/*.bmp | wc -l) files in out/settlements (trace in out/settlements/trace.txt)"
