// A ProDOS volume of 280 blocks of 512 bytes (a 140 KiB floppy), built in
// memory block by block: directories, index blocks, file data, the volume
// bit map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sample {

constexpr int prodos_block_bytes = 512;
constexpr int prodos_total_blocks = 280;
constexpr int prodos_entry_bytes = 39;
constexpr int prodos_entries_per_block = 13;

constexpr uint8_t storage_deleted = 0x0, storage_seedling = 0x1, storage_sapling = 0x2, storage_tree = 0x3,
                  storage_subdirectory = 0xD, storage_subdirectory_header = 0xE, storage_volume_header = 0xF;

struct prodos_stamp {
    int year, month, day, hour, minute;
};

struct prodos_volume {
    std::vector<uint8_t> bytes;  // prodos_total_blocks * prodos_block_bytes
    std::vector<bool> used;      // by block
};

// An empty volume: all blocks zero and free.
void prodos_init(prodos_volume& volume);

// Marks a block as taken; -1 after printing a line when it is outside the
// volume or taken already.
int prodos_take(prodos_volume& volume, int block);

// File (or subdirectory) entry `index` (0..12) of a directory block.
struct prodos_file_entry {
    uint8_t storage_type;
    std::string name;  // 1..15 characters
    uint8_t file_type;
    int key_pointer;
    int blocks_used;
    uint32_t eof;
    int aux_type;
    int header_pointer;  // key block of the directory holding the entry
    prodos_stamp stamp;
};
void prodos_put_entry(prodos_volume& volume, int block, int index, const prodos_file_entry& entry);

// The header entry (entry 0) of a directory's key block.
void prodos_put_volume_header(prodos_volume& volume, int block, const std::string& name, int file_count,
                              int bit_map_pointer, const prodos_stamp& stamp);
void prodos_put_subdirectory_header(prodos_volume& volume, int block, const std::string& name, int file_count,
                                    int parent_pointer, int parent_entry_number, const prodos_stamp& stamp);

// The previous and next block pointers of a directory block (0: none).
void prodos_link_directory_block(prodos_volume& volume, int block, int previous, int next);

// File data. A block number 0 in a list is a hole: the data there must be
// zero. Each returns the blocks used (data, index and master index blocks),
// or -1 after printing a line.
int prodos_place_seedling(prodos_volume& volume, const std::string& name, const std::vector<uint8_t>& data,
                          int block);
int prodos_place_sapling(prodos_volume& volume, const std::string& name, const std::vector<uint8_t>& data,
                         int index_block, const std::vector<int>& data_blocks);
// index_blocks[i] (0: a hole of 128 KiB) lists data_blocks[i].
int prodos_place_tree(prodos_volume& volume, const std::string& name, const std::vector<uint8_t>& data,
                      int master_block, const std::vector<int>& index_blocks,
                      const std::vector<std::vector<int>>& data_blocks);

// The volume bit map (1 = free) in one block; marks that block used first.
int prodos_write_bit_map(prodos_volume& volume, int block);

}  // namespace sample
