#include "disk_images.hpp"

#include <cstdlib>
#include <filesystem>

#include "bitmap/bytes.hpp"

bool run_quietly(const std::string& command)
{
    return std::system(("(" + command + ") </dev/null >/dev/null 2>&1").c_str()) == 0;
}

bool have_mtools() { return run_quietly("command -v mformat && command -v mcopy && command -v mdel"); }

std::string mtools_image(const std::string& path, int header_size)
{
    return header_size ? path + "@@" + std::to_string(header_size) : path;
}

std::string make_disk(const scratch_dir& dir, const std::string& name, int geometry, int header_size,
                      const std::vector<disk_file>& files)
{
    const std::string path = dir / name;
    const std::string image = mtools_image(path, header_size);
    std::filesystem::remove(path);
    EXPECT_TRUE(run_quietly("mformat -C -i '" + image + "' " + mformat_options[geometry] + " ::")) << name;
    for (const auto& [file_name, bytes] : files) EXPECT_TRUE(add_file(dir, path, header_size, file_name, bytes)) << file_name;
    return path;
}

bool add_file(const scratch_dir& dir, const std::string& image_path, int header_size, const std::string& name,
              const std::vector<uint8_t>& bytes)
{
    const std::string host = dir / "host-file";
    write_file(host, bytes);
    const bool copied = run_quietly("mcopy -i '" + mtools_image(image_path, header_size) + "' '" + host + "' '::" + name + "'");
    std::filesystem::remove(host);
    return copied;
}

bool delete_file(const std::string& image_path, int header_size, const std::string& name)
{
    return run_quietly("mdel -i '" + mtools_image(image_path, header_size) + "' '::" + name + "'");
}

disk_layout layout_of(const std::vector<uint8_t>& image, int header_size)
{
    const uint8_t* boot = image.data() + header_size;
    disk_layout l{};
    l.bytes_per_sector = get_u16_le(boot + 11);
    l.sectors_per_cluster = boot[13];
    l.fat_start = get_u16_le(boot + 14);
    l.fat_sectors = get_u16_le(boot + 22);
    l.root_start = l.fat_start + boot[16] * l.fat_sectors;
    l.root_entries = get_u16_le(boot + 17);
    l.first_data_sector = l.root_start + l.root_entries * 32 / l.bytes_per_sector;
    l.total_sectors = get_u16_le(boot + 19);
    l.sectors_per_track = get_u16_le(boot + 24);
    l.heads = get_u16_le(boot + 26);
    return l;
}

namespace {
size_t fat_byte(const std::vector<uint8_t>& image, int header_size, int cluster)
{
    const disk_layout l = layout_of(image, header_size);
    return static_cast<size_t>(header_size + l.fat_start * l.bytes_per_sector + cluster * 3 / 2);
}
} // namespace

int fat_entry(const std::vector<uint8_t>& image, int header_size, int cluster)
{
    const size_t at = fat_byte(image, header_size, cluster);
    const int pair = image[at] | image[at + 1] << 8;
    return cluster % 2 ? pair >> 4 : pair & 0xFFF;
}

void set_fat_entry(std::vector<uint8_t>& image, int header_size, int cluster, int value)
{
    const size_t at = fat_byte(image, header_size, cluster);
    int pair = image[at] | image[at + 1] << 8;
    pair = cluster % 2 ? (pair & 0x000F) | value << 4 : (pair & 0xF000) | value;
    image[at] = static_cast<uint8_t>(pair);
    image[at + 1] = static_cast<uint8_t>(pair >> 8);
}

std::vector<int> chain_of(const std::vector<uint8_t>& image, int header_size, int first, int limit)
{
    std::vector<int> chain;
    for (int c = first; c >= 2 && c < 0xFF0 && static_cast<int>(chain.size()) < limit; c = fat_entry(image, header_size, c))
        chain.push_back(c);
    return chain;
}

long dir_entry_offset(const std::vector<uint8_t>& image, int header_size, const std::string& name11)
{
    const disk_layout l = layout_of(image, header_size);
    const long root = header_size + static_cast<long>(l.root_start) * l.bytes_per_sector;
    for (long i = 0; i < l.root_entries; ++i)
        if (std::equal(name11.begin(), name11.end(), image.begin() + root + 32 * i)) return root + 32 * i;
    return -1;
}

int first_cluster_of(const std::vector<uint8_t>& image, int header_size, const std::string& name11)
{
    const long entry = dir_entry_offset(image, header_size, name11);
    return entry < 0 ? -1 : get_u16_le(image.data() + entry + 26);
}

std::vector<uint8_t> pattern_bytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}
