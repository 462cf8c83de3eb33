#include "prodos_builder.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// Sector of the file for each position of a track, order 2.
constexpr unsigned interleave[16] = {0, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 15};

uint8_t* entry_at(test_volume& volume, unsigned dir_block, int index)
{
    return block_at(volume, dir_block) + 4 + 39 * index;
}

void put_name(uint8_t* entry, unsigned storage_type, const std::string& name)
{
    const size_t length = name.size() < 15 ? name.size() : 15;
    entry[0] = static_cast<uint8_t>(storage_type << 4 | length);
    std::memcpy(entry + 1, name.data(), length);
}

} // namespace

void set_u16(uint8_t* p, unsigned value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

test_volume new_volume(const std::string& name, unsigned block_count)
{
    test_volume volume;
    volume.blocks.assign(512 * static_cast<size_t>(block_count), 0);
    uint8_t* header = entry_at(volume, 2, 0);
    put_name(header, 15, name);
    header[31] = 39;  // entry length
    header[32] = 13;  // entries per block
    set_u16(header + 35, test_bit_map_block);
    set_u16(header + 37, block_count);
    // The bit map block: a recognisable pattern.
    for (int i = 0; i < 512; ++i) block_at(volume, test_bit_map_block)[i] = static_cast<uint8_t>(0xA0 ^ i);
    return volume;
}

uint8_t* block_at(test_volume& volume, unsigned block)
{
    if (512 * (static_cast<size_t>(block) + 1) > volume.blocks.size()) throw std::out_of_range("test volume too small");
    return volume.blocks.data() + 512 * static_cast<size_t>(block);
}

unsigned allocate_block(test_volume& volume)
{
    block_at(volume, volume.next_free);  // checks the room
    return volume.next_free++;
}

void put_entry(test_volume& volume, unsigned dir_block, int index, unsigned storage_type, const std::string& name,
               unsigned key_pointer, uint32_t eof)
{
    uint8_t* entry = entry_at(volume, dir_block, index);
    std::memset(entry, 0, 39);
    put_name(entry, storage_type, name);
    entry[16] = storage_type == 13 ? 0x0F : 0x06;
    set_u16(entry + 17, key_pointer);
    entry[21] = static_cast<uint8_t>(eof);
    entry[22] = static_cast<uint8_t>(eof >> 8);
    entry[23] = static_cast<uint8_t>(eof >> 16);
    entry[30] = 0xE3;  // access
}

void link_dir_block(test_volume& volume, unsigned dir_block, unsigned previous, unsigned next)
{
    set_u16(block_at(volume, dir_block), previous);
    set_u16(block_at(volume, dir_block) + 2, next);
}

unsigned new_subdirectory(test_volume& volume, const std::string& name, unsigned parent_block, int parent_entry)
{
    const unsigned block = allocate_block(volume);
    uint8_t* header = entry_at(volume, block, 0);
    put_name(header, 14, name);
    header[16] = 0x75;
    header[31] = 39;
    header[32] = 13;
    set_u16(header + 35, parent_block);
    header[37] = static_cast<uint8_t>(parent_entry);
    header[38] = 39;
    return block;
}

unsigned put_file_data(test_volume& volume, unsigned storage_type, const std::vector<uint8_t>& data,
                       const std::set<size_t>& holes)
{
    const size_t file_blocks = data.empty() ? 1 : (data.size() + 511) / 512;
    auto data_block = [&](size_t k) -> unsigned {
        if (holes.count(k)) return 0;
        const unsigned block = allocate_block(volume);
        const size_t start = 512 * k;
        const size_t n = data.size() > start ? std::min<size_t>(512, data.size() - start) : 0;
        if (n) std::memcpy(block_at(volume, block), data.data() + start, n);
        return block;
    };
    auto index_block = [&](size_t first) -> unsigned {
        // Index block of file blocks first .. first + 255; low bytes 0-255, high 256-511.
        bool any = false;
        for (size_t k = first; k < first + 256 && k < file_blocks; ++k) any = any || !holes.count(k);
        if (!any) return 0;
        const unsigned index = allocate_block(volume);
        for (size_t k = first; k < first + 256 && k < file_blocks; ++k) {
            const unsigned block = data_block(k);
            block_at(volume, index)[k - first] = static_cast<uint8_t>(block);
            block_at(volume, index)[256 + k - first] = static_cast<uint8_t>(block >> 8);
        }
        return index;
    };
    if (storage_type == 1) return data_block(0);
    if (storage_type == 2) return index_block(0);
    const unsigned master = allocate_block(volume);
    for (size_t i = 0; 256 * i < file_blocks; ++i) {
        const unsigned index = index_block(256 * i);
        block_at(volume, master)[i] = static_cast<uint8_t>(index);
        block_at(volume, master)[256 + i] = static_cast<uint8_t>(index >> 8);
    }
    return master;
}

std::vector<uint8_t> disk_image(const test_volume& volume, int order)
{
    if (order == 1) return volume.blocks;
    std::vector<uint8_t> image(volume.blocks.size());
    const size_t blocks = volume.blocks.size() / 512;
    if (blocks % 8) throw std::invalid_argument("order 2 images hold whole tracks");
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t half = 0; half < 2; ++half) {
            const size_t position = 2 * (b % 8) + half;
            const size_t offset = 4096 * (b / 8) + 256 * interleave[position];
            std::memcpy(image.data() + offset, volume.blocks.data() + 512 * b + 256 * half, 256);
        }
    }
    return image;
}
