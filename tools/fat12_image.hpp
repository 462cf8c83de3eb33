// A FAT12 file system on a 2HD floppy of 1232 sectors of 1024 bytes, built
// in memory: boot sector, two FAT copies, a 192-entry root directory and
// the data area, one sector per cluster.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sample {

constexpr int fat_bytes_per_sector = 1024;
constexpr int fat_total_sectors = 1232;
constexpr int fat_first_fat_sector = 1;
constexpr int fat_sectors_per_fat = 2;
constexpr int fat_root_sector = 5;
constexpr int fat_root_entries = 192;
constexpr int fat_first_data_sector = 11;
constexpr int fat_cluster_count = fat_total_sectors - fat_first_data_sector;  // clusters 2 .. count + 1
constexpr int fat_last_cluster = fat_cluster_count + 1;
constexpr size_t fat_image_bytes = size_t(fat_total_sectors) * fat_bytes_per_sector;
constexpr uint8_t fat_media_descriptor = 0xFE;

// Consecutive clusters first .. last.
struct cluster_run {
    int first, last;
};

struct fat_date_time {
    int year, month, day, hour, minute, second;
};

struct fat_volume {
    std::vector<uint8_t> image;  // fat_image_bytes
    std::vector<int> links;      // FAT entry by cluster number, 0 .. fat_last_cluster
};

// An empty formatted volume: boot sector, FAT with only its two reserved
// entries, empty root directory, data area filled with the format byte.
void fat_format(fat_volume& volume, const std::string& oem_name);

// Puts a file's bytes into the runs of clusters, in order, and chains them
// in the FAT (the last cluster ends the chain). The runs must hold the
// bytes with less than one cluster to spare, inside the data area and free;
// returns 0, or -1 after printing a line.
int fat_place_file(fat_volume& volume, const std::string& name, const std::vector<uint8_t>& bytes,
                   const std::vector<cluster_run>& runs);

// Writes root directory entry `index`: an 11-byte name (8 + 3, space
// padded), attributes, time stamp, first cluster and size.
void fat_put_entry(fat_volume& volume, int index, const std::string& name11, uint8_t attributes,
                   const fat_date_time& stamp, int first_cluster, uint32_t size);

// "TILES.CH" -> "TILES   CH ".
std::string fat_name11(const std::string& name);

// Packs the link table into both FAT copies.
void fat_write_tables(fat_volume& volume);

}  // namespace sample
