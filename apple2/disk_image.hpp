// Apple II floppy disk images: the two sector orders, 512-byte block access to an image
// held in memory, and the raw map and NPC tracks of the settlement disks.
//
// An image holds 256-byte sectors one after another, 16 to a track (4096 bytes); a full
// disk is 35 tracks. Within a track a sector is addressed by a position p (0-15), which
// the sector table of the image's order turns into the sector's index in the file:
//
//   position p        0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15
//   order 1 (--do)    0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15
//   order 2 (--po)    0 14 13 12 11 10  9  8  7  6  5  4  3  2  1 15   (its own inverse)
//
// Position p of track t lies at byte 4096 t + 256 table[p]. Block b (512 bytes) is track
// b / 8, first half at position 2 (b mod 8), second half at position 2 (b mod 8) + 1.
//
// Settlement disks, read without a file system:
//   track 30, positions 2L and 2L + 1   NPC data of location L (kind sector, schedule sector)
//   tracks 31-34                        map data: four positions per 32 x 32 level, each a
//                                       16 x 16 quarter (p mod 4: top left, top right,
//                                       bottom left, bottom right), 16 rows of 16 bytes
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int sector_order_do = 1;       // --do: the identity table
constexpr int sector_order_po = 2;       // --po, the default: the interleave table
constexpr size_t sector_bytes = 256;
constexpr int sectors_per_track = 16;
constexpr size_t track_bytes = sector_bytes * sectors_per_track;  // 4096
constexpr size_t block_bytes = 512;
constexpr int blocks_per_track = 8;
constexpr int disk_tracks = 35;

inline constexpr uint8_t identity_sector_table[sectors_per_track] = {0, 1, 2, 3, 4, 5, 6, 7,
                                                                     8, 9, 10, 11, 12, 13, 14, 15};
inline constexpr uint8_t interleave_sector_table[sectors_per_track] = {0, 14, 13, 12, 11, 10, 9, 8,
                                                                       7, 6, 5, 4, 3, 2, 1, 15};

// Where a sector of an image in the interleave order (its index in the track as the file
// holds it) passes under the head: the physical sector number of its address field.
inline constexpr uint8_t physical_sector_of[sectors_per_track] = {0, 13, 11, 9, 7, 5, 3, 1,
                                                                  14, 12, 10, 8, 6, 4, 2, 15};

// The table of `order`: identity for order 1, the interleave for any other order.
const uint8_t* sector_table_of(int order);

// A disk as the readers take it. A raw image is read from its file by name; a container
// (disk_container.hpp) has been decoded into `sectors`, a linear image in `order`, with
// each sector that could not be decoded marked in `unreadable` (track 16 t + index of the
// sector in the file's track).
struct apple2_disk {
    const char* name = nullptr;
    int order = sector_order_po;
    bool decoded = false;
    std::vector<uint8_t> sectors;
    std::bitset<disk_tracks * sectors_per_track> unreadable;
};

// Prints "error: track %d sector %d unreadable in '%s'\n" when the sector at `index` of
// `track` of a decoded disk was not decoded, naming its physical sector. 0 or -1.
int check_sector_readable(const apple2_disk& disk, size_t track, size_t index);

// A data block inside an image held in memory. Both halves are absent for block 0.
struct block_ref {
    uint16_t block = 0;
    const uint8_t* first = nullptr;   // bytes 0-255 of the block
    const uint8_t* second = nullptr;  // bytes 256-511
};

struct prodos_volume;

// Copies block `block` of the volume's image into `buffer` (512 bytes). 0, or -1 after
// "illegal block no $%04X\n" when a half lies beyond the image (the first half may
// already be copied).
int read_block(const prodos_volume& volume, uint16_t block, uint8_t* buffer);
// Points the halves of `ref` into the volume's image. 1 when both are mapped, 0 for block
// 0 (both absent, no message), -1 after "illegal block no $%04X\n" (the first may be set).
int map_block(const prodos_volume& volume, block_ref& ref);

// Map data of a settlement group from tracks 31 on: `count` bytes (16384 for all sixteen
// levels); bytes whose place lies at or beyond `count` are not stored. 0, or -1 after
// "error: open '%s'\n", "error: seek '%s'\n" or "error: read '%s'\n".
// A decoded disk is read from memory with the same messages, and a sector that was not
// decoded fails after the line of check_sector_readable.
int read_map_tracks(const apple2_disk& disk, uint8_t* destination, size_t count);
int read_map_tracks(const char* image_name, uint8_t* destination, size_t count, int order);
// NPC data of `locations` locations from track 30 on, 768 bytes per location. 0 or -1 with
// the messages of read_map_tracks.
int read_npc_track(const apple2_disk& disk, uint8_t* destination, int locations);
int read_npc_track(const char* image_name, uint8_t* destination, int locations, int order);
