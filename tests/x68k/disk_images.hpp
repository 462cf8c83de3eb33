// Floppy images for the tests, made by mtools (an independent FAT12 implementation), and a
// small FAT12 inspector of the test's own for looking at and damaging them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.hpp"

// The mformat options that give each geometry of the reader's table, in the table's order.
inline const char* const mformat_options[] = {
    "-t 77 -h 2 -s 8 -S 3 -r 6 -c 1 -L 2",  // 2HD 1232 KB, 1024-byte sectors
    "-t 80 -h 2 -s 9 -r 7 -c 2 -L 3",       // 2DD 720 KB
    "-t 80 -h 2 -s 8 -r 7 -c 2 -L 2",       // 2DD 640 KB
};

// Fails the test with a clear message when mformat, mcopy or mdel is missing.
#define REQUIRE_MTOOLS() \
    ASSERT_TRUE(have_mtools()) << "mtools (mformat, mcopy, mdel) is needed by these tests: apt-get install mtools"
bool have_mtools();

// Runs a shell command quietly; true on exit status 0.
bool run_quietly(const std::string& command);

using disk_file = std::pair<std::string, std::vector<uint8_t>>;

// "path" or "path@@offset": how mtools names an image with a header in front.
std::string mtools_image(const std::string& path, int header_size);

// Formats a new image of geometry `geometry` (0-2) with `header_size` header bytes and copies
// `files` into its root directory in order. Returns the image's path.
std::string make_disk(const scratch_dir& dir, const std::string& name, int geometry, int header_size,
                      const std::vector<disk_file>& files);

// Copies `bytes` into the image as ::name, or deletes ::name. True on success.
bool add_file(const scratch_dir& dir, const std::string& image_path, int header_size, const std::string& name,
              const std::vector<uint8_t>& bytes);
bool delete_file(const std::string& image_path, int header_size, const std::string& name);

// Layout read back from the boot sector mtools wrote (the reader under test never reads it).
struct disk_layout {
    int bytes_per_sector, sectors_per_cluster, fat_start, fat_sectors, root_start, root_entries, first_data_sector,
        total_sectors, heads, sectors_per_track;
};
disk_layout layout_of(const std::vector<uint8_t>& image, int header_size);

// FAT entry `cluster` of FAT copy 1, read and written the test's own way.
int fat_entry(const std::vector<uint8_t>& image, int header_size, int cluster);
void set_fat_entry(std::vector<uint8_t>& image, int header_size, int cluster, int value);
// The clusters of a chain from `first`, at most `limit` of them.
std::vector<int> chain_of(const std::vector<uint8_t>& image, int header_size, int first, int limit = 4096);
// Byte offset of the root entry named `name11` (11 bytes), or -1.
long dir_entry_offset(const std::vector<uint8_t>& image, int header_size, const std::string& name11);
// The first cluster in that entry.
int first_cluster_of(const std::vector<uint8_t>& image, int header_size, const std::string& name11);

// Deterministic bytes for file contents.
std::vector<uint8_t> pattern_bytes(size_t size, uint32_t seed);
