// What the libFuzzer harnesses of the container decoders do with a decoded disk: every
// reader that takes one. Build and run (clang), from the top of the tree, for NAME one of
// nib, woz and two_img:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. -o NAME_fuzz
//       tests/apple2/NAME_fuzz.cpp apple2/*.cpp bitmap/*.cpp settlement/*.cpp   (one line)
//   ./NAME_fuzz -max_total_time=60
// or configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build NAME_fuzz.
#pragma once

#include <cstdio>
#include <vector>

#include "apple2/disk_container.hpp"
#include "apple2/hires_tiles.hpp"
#include "apple2/prodos.hpp"

inline void read_decoded_disk(const std::vector<uint8_t>& file, int (*decode)(const std::vector<uint8_t>&, apple2_disk&))
{
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;  // the readers' lines
    (void)quiet;
    apple2_disk disk;
    disk.name = "fuzz";
    if (decode(file, disk) < 0) return;
    std::vector<uint8_t> map(16384), npcs(9 * 768);
    read_map_tracks(disk, map.data(), map.size());
    read_npc_track(disk, npcs.data(), 9);
    tile_sheet sheet;
    load_apple_tiles(disk, sheet, shape_type::normal, false);
}
