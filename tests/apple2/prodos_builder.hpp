// ProDOS volumes made for the tests, block by block from the on-disk layout, and laid out
// as disk images in either sector order. Independent of the reader under test.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct test_volume {
    std::vector<uint8_t> blocks;  // 512 bytes per block, in block order
    unsigned next_free = 7;       // 0-1 boot, 2 volume directory, 3-5 spare, 6 bit map
};

constexpr unsigned test_bit_map_block = 6;

// A volume named `name` of `block_count` blocks with an empty one-block volume directory.
test_volume new_volume(const std::string& name, unsigned block_count);
uint8_t* block_at(test_volume& volume, unsigned block);
unsigned allocate_block(test_volume& volume);
void set_u16(uint8_t* p, unsigned value);

// Writes entry `index` (0-12) of directory block `dir_block`. Storage type and name
// length go into byte 0 as they are (a name of more than 15 bytes is cut).
void put_entry(test_volume& volume, unsigned dir_block, int index, unsigned storage_type, const std::string& name,
               unsigned key_pointer, uint32_t eof);
// Sets the previous and next block numbers of a directory block.
void link_dir_block(test_volume& volume, unsigned dir_block, unsigned previous, unsigned next);
// A new directory block holding a subdirectory header named `name`; its number.
unsigned new_subdirectory(test_volume& volume, const std::string& name, unsigned parent_block, int parent_entry);

// Stores `data` as a file of storage type 1, 2 or 3 and returns its key pointer. File blocks
// (512-byte pieces of `data`) listed in `holes` are stored as block number 0; a tree's index
// block whose every block is a hole is stored as 0 in the master index.
unsigned put_file_data(test_volume& volume, unsigned storage_type, const std::vector<uint8_t>& data,
                       const std::set<size_t>& holes = {});

// The image file of the volume: order 1 block after block, order 2 with the halves of each
// block in the sectors the interleave names (the block count must fill whole tracks).
std::vector<uint8_t> disk_image(const test_volume& volume, int order);
