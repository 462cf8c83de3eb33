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
    // Kept from run to run, as by a program that reads many disks: only their first
    // allocation costs page faults.
    static apple2_disk disk;
    static std::vector<uint8_t> map(16384), npcs(9 * 768);
    static std::vector<uint8_t> shapes(apple_shapes_bytes);
    disk.name = "fuzz";
    disk.order = sector_order_po;
    disk.decoded = false;
    disk.unreadable.reset();
    if (decode(file, disk) < 0) return;
    read_map_tracks(disk, map.data(), map.size());
    read_npc_track(disk, npcs.data(), 9);
    // The tile loader's reading (the decoding of the shapes read is the same for every disk).
    static prodos_volume volume;  // opened again each run, as a program reading many disks would
    if (open_volume(volume, disk) == 0) read_file(volume, "SHAPES", shapes.data(), shapes.size());
}
