// ProDOS volume builder.

#include "prodos_volume.hpp"

#include "sample_data.hpp"

#include <algorithm>
#include <cstdio>

namespace sample {

namespace {

size_t block_offset(int block) { return size_t(block) * prodos_block_bytes; }

size_t entry_offset(int block, int index) { return block_offset(block) + 4 + size_t(index) * prodos_entry_bytes; }

// Date: year (two digits) in bits 15-9, month 8-5, day 4-0; then minute,
// then hour.
void put_stamp(std::vector<uint8_t>& b, size_t at, const prodos_stamp& s)
{
    put_le16(b, at, unsigned((s.year % 100) << 9 | s.month << 5 | s.day));
    b[at + 2] = uint8_t(s.minute);
    b[at + 3] = uint8_t(s.hour);
}

void put_name(std::vector<uint8_t>& b, size_t at, uint8_t storage_type, const std::string& name)
{
    b[at] = uint8_t(storage_type << 4 | (name.size() & 15));
    for (size_t k = 0; k < 15; ++k)
        b[at + 1 + k] = uint8_t(k < name.size() ? name[k] : 0);
}

// An index block: low bytes of the 256 block numbers, then the high bytes.
void put_index(prodos_volume& volume, int block, const std::vector<int>& entries)
{
    const size_t at = block_offset(block);
    for (size_t i = 0; i < entries.size(); ++i) {
        volume.bytes[at + i] = uint8_t(entries[i] & 0xFF);
        volume.bytes[at + 256 + i] = uint8_t((entries[i] >> 8) & 0xFF);
    }
}

// Copies data[from, from + 512) into a block, or checks that a hole's part
// of the data is zero. Returns 1 for a block used, 0 for a hole, -1.
int place_data(prodos_volume& volume, const std::string& name, const std::vector<uint8_t>& data, size_t from,
               int block)
{
    const size_t end = std::min(data.size(), from + prodos_block_bytes);
    if (block == 0) {
        for (size_t i = from; i < end; ++i)
            if (data[i] != 0) {
                std::printf("error: '%s': data in a hole at %zu\n", name.c_str(), i);
                return -1;
            }
        return 0;
    }
    if (prodos_take(volume, block) < 0)
        return -1;
    for (size_t i = from; i < end; ++i)
        volume.bytes[block_offset(block) + (i - from)] = data[i];
    return 1;
}

int check_room(const std::string& name, size_t size, size_t capacity)
{
    if (size > capacity) {
        std::printf("error: '%s': %zu bytes do not fit its %zu\n", name.c_str(), size, capacity);
        return -1;
    }
    return 0;
}

}  // namespace

void prodos_init(prodos_volume& volume)
{
    volume.bytes.assign(size_t(prodos_total_blocks) * prodos_block_bytes, 0);
    volume.used.assign(size_t(prodos_total_blocks), false);
}

int prodos_take(prodos_volume& volume, int block)
{
    if (block < 0 || block >= prodos_total_blocks || volume.used[size_t(block)]) {
        std::printf("error: block %d is outside the volume or taken\n", block);
        return -1;
    }
    volume.used[size_t(block)] = true;
    return 0;
}

void prodos_put_entry(prodos_volume& volume, int block, int index, const prodos_file_entry& e)
{
    std::vector<uint8_t>& b = volume.bytes;
    const size_t at = entry_offset(block, index);
    put_name(b, at, e.storage_type, e.name);
    b[at + 16] = e.file_type;
    put_le16(b, at + 17, unsigned(e.key_pointer));
    put_le16(b, at + 19, unsigned(e.blocks_used));
    b[at + 21] = uint8_t(e.eof & 0xFF);
    b[at + 22] = uint8_t((e.eof >> 8) & 0xFF);
    b[at + 23] = uint8_t((e.eof >> 16) & 0xFF);
    put_stamp(b, at + 24, e.stamp);
    b[at + 28] = 0;     // version
    b[at + 29] = 0;     // minimum version
    b[at + 30] = 0xE3;  // destroy, rename, backup, write, read
    put_le16(b, at + 31, unsigned(e.aux_type));
    put_stamp(b, at + 33, e.stamp);
    put_le16(b, at + 37, unsigned(e.header_pointer));
}

namespace {

void put_header_common(std::vector<uint8_t>& b, size_t at, uint8_t storage_type, const std::string& name,
                       int file_count, const prodos_stamp& stamp)
{
    put_name(b, at, storage_type, name);
    put_stamp(b, at + 24, stamp);
    b[at + 28] = 0;
    b[at + 29] = 0;
    b[at + 30] = 0xC3;
    b[at + 31] = prodos_entry_bytes;
    b[at + 32] = prodos_entries_per_block;
    put_le16(b, at + 33, unsigned(file_count));
}

}  // namespace

void prodos_put_volume_header(prodos_volume& volume, int block, const std::string& name, int file_count,
                              int bit_map_pointer, const prodos_stamp& stamp)
{
    const size_t at = entry_offset(block, 0);
    put_header_common(volume.bytes, at, storage_volume_header, name, file_count, stamp);
    put_le16(volume.bytes, at + 35, unsigned(bit_map_pointer));
    put_le16(volume.bytes, at + 37, prodos_total_blocks);
}

void prodos_put_subdirectory_header(prodos_volume& volume, int block, const std::string& name, int file_count,
                                    int parent_pointer, int parent_entry_number, const prodos_stamp& stamp)
{
    const size_t at = entry_offset(block, 0);
    put_header_common(volume.bytes, at, storage_subdirectory_header, name, file_count, stamp);
    volume.bytes[at + 16] = 0x75;
    put_le16(volume.bytes, at + 35, unsigned(parent_pointer));
    volume.bytes[at + 37] = uint8_t(parent_entry_number);
    volume.bytes[at + 38] = prodos_entry_bytes;
}

void prodos_link_directory_block(prodos_volume& volume, int block, int previous, int next)
{
    put_le16(volume.bytes, block_offset(block), unsigned(previous));
    put_le16(volume.bytes, block_offset(block) + 2, unsigned(next));
}

int prodos_place_seedling(prodos_volume& volume, const std::string& name, const std::vector<uint8_t>& data,
                          int block)
{
    if (check_room(name, data.size(), prodos_block_bytes) < 0 || place_data(volume, name, data, 0, block) < 0)
        return -1;
    return 1;
}

int prodos_place_sapling(prodos_volume& volume, const std::string& name, const std::vector<uint8_t>& data,
                         int index_block, const std::vector<int>& data_blocks)
{
    if (check_room(name, data.size(), data_blocks.size() * prodos_block_bytes) < 0 || data_blocks.size() > 256 ||
        prodos_take(volume, index_block) < 0)
        return -1;
    int used = 1;
    for (size_t i = 0; i < data_blocks.size(); ++i) {
        const int r = place_data(volume, name, data, i * prodos_block_bytes, data_blocks[i]);
        if (r < 0)
            return -1;
        used += r;
    }
    put_index(volume, index_block, data_blocks);
    return used;
}

int prodos_place_tree(prodos_volume& volume, const std::string& name, const std::vector<uint8_t>& data,
                      int master_block, const std::vector<int>& index_blocks,
                      const std::vector<std::vector<int>>& data_blocks)
{
    constexpr size_t per_index = size_t(256) * prodos_block_bytes;
    if (check_room(name, data.size(), index_blocks.size() * per_index) < 0 || index_blocks.size() > 128 ||
        index_blocks.size() != data_blocks.size() || prodos_take(volume, master_block) < 0)
        return -1;
    int used = 1;
    for (size_t k = 0; k < index_blocks.size(); ++k) {
        if (index_blocks[k] == 0) {
            for (size_t i = k * per_index; i < std::min(data.size(), (k + 1) * per_index); ++i)
                if (data[i] != 0) {
                    std::printf("error: '%s': data in a hole at %zu\n", name.c_str(), i);
                    return -1;
                }
            continue;
        }
        if (prodos_take(volume, index_blocks[k]) < 0 || data_blocks[k].size() > 256)
            return -1;
        ++used;
        for (size_t i = 0; i < data_blocks[k].size(); ++i) {
            const size_t from = k * per_index + i * prodos_block_bytes;
            const int r = place_data(volume, name, data, from, data_blocks[k][i]);
            if (r < 0)
                return -1;
            used += r;
        }
        put_index(volume, index_blocks[k], data_blocks[k]);
    }
    put_index(volume, master_block, index_blocks);
    return used;
}

int prodos_write_bit_map(prodos_volume& volume, int block)
{
    if (prodos_take(volume, block) < 0)
        return -1;
    const size_t at = block_offset(block);
    for (int b = 0; b < prodos_total_blocks; ++b)
        if (!volume.used[size_t(b)])
            volume.bytes[at + size_t(b / 8)] |= uint8_t(0x80 >> (b % 8));
    return 0;
}

}  // namespace sample
