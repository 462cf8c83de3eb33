// Apple II disk images in the forms players keep them: block-order .po files, 2MG in both
// orders, NIB in both track lengths, and WOZ 1 and 2, written from the sample disks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sample {

// The disks' geometry: 35 tracks of 16 sectors of 256 bytes.
constexpr int apple2_tracks = 35;
constexpr int apple2_sectors_per_track = 16;
constexpr int apple2_sector_bytes = 256;
constexpr int apple2_track_bytes = apple2_sectors_per_track * apple2_sector_bytes;
constexpr size_t apple2_disk_bytes = size_t(apple2_tracks) * apple2_track_bytes;

// Writes DIR/STEM.po, STEM-do.2mg, STEM-po.2mg, STEM.nib, STEM-6384.nib, STEM-woz1.woz and
// STEM-woz2.woz of one 35-track disk given in block order (position p of track t at
// 4096 t + 256 p) and in the DOS order of the .dsk files. 0, or -1 after a line.
int write_apple2_containers(const std::filesystem::path& dir, const std::string& stem,
                            const std::vector<uint8_t>& block_order, const std::vector<uint8_t>& dos_order);

}  // namespace sample
