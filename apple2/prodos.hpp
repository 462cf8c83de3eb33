// Read-only access to a ProDOS volume held in a disk image: the directory tree is read once
// at open time, every file's index blocks are resolved up front into addresses inside the
// image, and a file is found by its path and copied out.
//
// Directory block (512 bytes):
//   0   u16  previous block        2   u16  next block (0 ends the chain)
//   4   13 entries of 39 bytes at 4 + 39 k; entry 0 of a chain's first block is its header
// File entry (39 bytes):
//   0   u8   storage type (bits 7-4), name length (bits 3-0)
//   1   15   name                  16  u8   file type
//   17  u16  key pointer           19  u16  blocks used
//   21  u24  end of file (EOF)     24  4    creation date and time
//   28  u8   version               29  u8   minimum version
//   30  u8   access                31  u16  auxiliary type
//   33  4    modification date     37  u16  header pointer
// Header entry: 0-15 as above, 16 eight reserved bytes, 24 creation, 28 version, 29 minimum
// version, 30 access, 31 u8 entry length, 32 u8 entries per block, 33 u16 file count, then
// volume: 35 u16 bit map pointer, 37 u16 total blocks;
// subdirectory: 35 u16 parent pointer, 37 u8 parent entry number, 38 u8 parent entry length.
// Date and time d0-d3: year d1 >> 1, month (d1 & 1) * 8 + (d0 >> 5), day d0 & 31,
// minute d2 & 63, hour d3 & 31.
// Storage types: 0 free, 1 seedling (key = the data block), 2 sapling (key = an index
// block), 3 tree (key = a master index block), 13 subdirectory, 14 and 15 headers.
// Index block: block i = byte[i] + 256 byte[256 + i], i = 0-255; a master index block
// uses entries 0-127. Block number 0 in either is a hole that reads as zeros.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <variant>
#include <vector>

#include "apple2/disk_image.hpp"

constexpr int dir_entries_per_block = 13;
constexpr int max_directory_depth = 64;        // the volume directory is depth 0
constexpr int index_block_entries = 256;
constexpr int master_index_entries = 128;
constexpr size_t max_image_bytes = 65536 * block_bytes;  // all a block number can address

enum storage_types : uint8_t {
    storage_free = 0,
    storage_seedling = 1,
    storage_sapling = 2,
    storage_tree = 3,
    storage_subdirectory = 13,
    storage_subdirectory_header = 14,
    storage_volume_header = 15,
};

struct prodos_date {
    uint32_t year = 0;
    uint32_t month = 0;
    uint32_t day = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;
};

// An index block of a sapling or tree file with its data blocks resolved; `blocks` is empty
// (absent) for block 0 and when the index block could not be read.
struct index_ref {
    uint16_t block = 0;
    std::vector<block_ref> blocks;  // 256 when present
};

// The master index block of a tree file; `indexes` is empty (absent) likewise.
struct master_ref {
    uint16_t block = 0;
    std::vector<index_ref> indexes;  // 128 when present
};

struct dir_block;

// The fields of a file or subdirectory entry.
struct file_fields {
    uint8_t file_type = 0;
    uint16_t key_pointer = 0;
    uint16_t blocks_used = 0;
    uint32_t eof = 0;
    uint16_t aux_type = 0;
    prodos_date modified;
    uint16_t header_pointer = 0;
};

struct volume_header_fields {
    uint16_t bit_map_pointer = 0;
    uint16_t total_blocks = 0;
};

struct subdirectory_header_fields {
    uint16_t parent_pointer = 0;
    uint8_t parent_entry_number = 0;
    uint8_t parent_entry_length = 0;
};

// The fields of a directory's header (entry 0 of the chain's first block).
struct header_fields {
    uint8_t reserved[8] = {};
    uint8_t entry_length = 0;
    uint8_t entries_per_block = 0;
    uint16_t file_count = 0;
    std::variant<volume_header_fields, subdirectory_header_fields> owner;
};

// What open_volume resolves for a file or subdirectory entry, by its storage type: the
// subdirectory's chain (13; null when it could not be read), or the data reference of a
// seedling (1), sapling (2) or tree (3) file; nothing for the others.
using entry_link = std::variant<std::monostate, std::unique_ptr<dir_block>, block_ref, index_ref, master_ref>;

struct dir_entry {
    uint8_t storage_type = 0;
    uint8_t name_length = 0;
    uint8_t name[15] = {};  // not terminated
    prodos_date created;
    uint8_t version = 0;
    uint8_t min_version = 0;
    uint8_t access = 0;
    std::variant<file_fields, header_fields> fields;
    entry_link link;
};

// One block of a directory chain. The chain owns its blocks through `next`.
struct dir_block {
    std::unique_ptr<dir_block> next;
    uint16_t previous_block = 0;
    uint16_t next_block = 0;
    std::vector<dir_entry> entries;  // 13
    dir_block() = default;
    dir_block(const dir_block&) = delete;
    dir_block& operator=(const dir_block&) = delete;
    ~dir_block();  // releases the rest of the chain without recursion
};

// The parts of an entry; null when the entry is of the other kind or the link is absent.
inline const file_fields* file_of(const dir_entry& entry) { return std::get_if<file_fields>(&entry.fields); }
inline const header_fields* header_of(const dir_entry& entry) { return std::get_if<header_fields>(&entry.fields); }
inline const dir_block* subdirectory_of(const dir_entry& entry)
{
    const auto* chain = std::get_if<std::unique_ptr<dir_block>>(&entry.link);
    return chain ? chain->get() : nullptr;
}

// What the catalog read has used up, so that damaged volumes cannot make it loop or grow
// without end: directory blocks already read (each is read once), and the index blocks
// that may still be resolved (no more than the image holds blocks).
struct catalog_limits {
    std::bitset<65536> directory_blocks_read;
    size_t index_blocks_left = 0;
};

struct prodos_volume {
    std::unique_ptr<dir_block> directory;  // the volume directory's first block
    const uint8_t* sector_table = nullptr;
    std::array<uint8_t, block_bytes> bit_map{};  // first block of the volume bit map
    std::vector<uint8_t> image;                   // the whole image file
    catalog_limits limits;
};

// Reads the image (at most max_image_bytes of it), its directory tree and its index
// blocks. 0 or -1; the caller calls close_volume either way. A volume opened again keeps
// its image buffer.
int open_volume(prodos_volume& volume, const char* image_name, int order);
// The same for a disk made ready by the container layer: a decoded disk's sectors are
// taken as the image, a raw one is read from its file.
int open_volume(prodos_volume& volume, const apple2_disk& disk);
// Whether `block` (at least its first 256 bytes) is a volume directory key block: no
// previous block, a volume header, entries of 39 bytes, 13 to a block.
bool is_volume_key_block(const uint8_t* block);
// Frees the tree and the image and leaves the record cleared.
void close_volume(prodos_volume& volume);
// The same, and frees the record itself.
void close_volume(std::unique_ptr<prodos_volume>& volume);

// The file entry (storage type 1, 2 or 3) named by `path`, or null.
const dir_entry* find_file(const prodos_volume& volume, const char* path);
// Copies min(EOF, size) bytes of the file `path` into `destination`. 0 or -1.
int read_file(const prodos_volume& volume, const char* path, uint8_t* destination, size_t size);

// The steps of open_volume and find_file.
std::unique_ptr<dir_block> read_directory(prodos_volume& volume, uint16_t first_block, int depth);
// Number of entries whose blocks could not be resolved, or -1 when memory ran out.
int resolve_blocks(prodos_volume& volume, dir_block* directory);
// Number of non-zero entries; -1 when a block could not be read, -2 when memory ran out.
int read_index_block(prodos_volume& volume, index_ref& ref);
int read_master_index_block(prodos_volume& volume, master_ref& ref);
// First entry of storage type 1, 2, 3 or 13 named `name` (same length, same bytes).
const dir_entry* find_entry(const dir_block* directory, std::string_view name);
void free_directory(std::unique_ptr<dir_block>& directory);
