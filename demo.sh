#!/usr/bin/env bash
# Builds the seven mappers, writes the sample data set into sample/ and draws its maps into
# out/, one folder per edition: the world maps (all moon gates, the Underworld items) and the
# 64 settlement levels at noon of the PC, X68000 and PC-98 editions, and the Apple II
# settlement levels in each of the three renderings. Then writes the atlas of all of them
# into out/atlas/.
set -euo pipefail
cd "$(dirname "$0")"

# What building needs, installed where missing (Debian packages). The tests are not built.
need=()
command -v g++ > /dev/null || need+=(g++)
command -v cmake > /dev/null || need+=(cmake)
command -v make > /dev/null || need+=(make)
[ -f /usr/include/libdeflate.h ] || need+=(libdeflate-dev)
command -v npm > /dev/null || need+=(npm)
[ -f /usr/include/png.h ] || need+=(libpng-dev)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" > /dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZK_TESTS=OFF > /dev/null
cmake --build build -j "$(nproc)" --target holvik garvik eskvik felvik calvik dunvik brevik zkatlas make_sample_data

build/tools/make_sample_data sample
top=$(pwd)
bin="$top/build/programs"
pc="$top/sample/pc"
x68k="$top/sample/x68k"
apple2="$top/sample/apple2"

# draw FOLDER PROGRAM ARGUMENTS...: runs a mapper in out/FOLDER, its console into trace.txt.
draw() {
  local folder=$1
  shift
  mkdir -p "out/$folder"
  (cd "out/$folder" && "$@" > trace.txt)
  echo "out/$folder: $(ls "out/$folder"/*.bmp | wc -l) maps"
}

# The PC tile file as the game ships it, compressed.
draw pc/world "$bin/holvik" --overwrite -g -i --ega "$pc/TILES.16" "$pc"
draw pc/settlements "$bin/garvik" --overwrite --ega "$pc/TILES.16" "$pc"
draw x68000/world "$bin/eskvik" --overwrite -g -i -d "$x68k/zk-britannia.xdf"
draw x68000/settlements "$bin/calvik" --overwrite -d "$x68k/zk-britannia.xdf"
draw pc-98/world "$bin/felvik" --overwrite -g -i -d "$x68k/ZK_Britania.fdi"
draw pc-98/settlements "$bin/dunvik" --overwrite -d "$x68k/ZK_Britania.fdi"
disks=(-d1 "$apple2/zk-program.dsk" -d2 "$apple2/zk-castle.dsk" -d3 "$apple2/zk-dwelling.dsk"
       -d4 "$apple2/zk-keep.dsk" -d5 "$apple2/zk-towne.dsk")
draw apple2/colours "$bin/brevik" --overwrite "${disks[@]}"
draw apple2/blurred "$bin/brevik" --overwrite -B "${disks[@]}"
draw apple2/television "$bin/brevik" --overwrite -B -B "${disks[@]}"

# The atlas of every map drawn, and where to open it.
"$bin/zkatlas" --overwrite -o out/atlas out | grep -v '^ignored ' || true
echo "open file://$top/out/atlas/index.html in a web browser"
