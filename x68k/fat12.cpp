// The FAT12 floppy image reader. The layouts are sketched in fat12.hpp.
#include "fat12.hpp"

#include <sys/types.h>

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <new>

#include "bitmap/bytes.hpp"

namespace {

// Directory entry fields.
constexpr int de_name = 0;           // 11 bytes: 8 name, 3 extension
constexpr int de_first_cluster = 26; // u16, cluster number
constexpr int de_file_size = 28;     // u32, bytes

constexpr int first_data_cluster = 2;
constexpr int chain_end = 0xFF0;     // this and above: reserved, bad or end of chain
constexpr uint8_t deleted_mark = 0xE5;
constexpr uint8_t escaped_e5 = 0x05;

int fail_open(fat_image& image)
{
    close_fat_image(image);
    return -1;
}

uint8_t ascii_upper(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 'a' + 'A') : c; }

bool same_name(const uint8_t* entry, const uint8_t* name, bool ignore_case)
{
    for (int i = 0; i < dir_name_bytes; ++i) {
        const uint8_t a = ignore_case ? ascii_upper(entry[i]) : entry[i];
        const uint8_t b = ignore_case ? ascii_upper(name[i]) : name[i];
        if (a != b) return false;
    }
    return true;
}

} // namespace

const fat_geometry* geometry_of(int64_t length, int header_size)
{
    if (header_size < 0) return nullptr;
    for (const fat_geometry& row : fat_geometries)
        if (length - header_size == static_cast<int64_t>(row.image_bytes)) return &row;
    return nullptr;
}

std::FILE* open_image_stream(const char* path, int64_t& length)
{
    std::FILE* stream = std::fopen(path, "rb");
    if (!stream) {
        std::printf("open error '%s'\n", path);
        return nullptr;
    }
    off_t end = -1;
    if (fseeko(stream, 0, SEEK_END) != 0 || (end = ftello(stream)) < 0) {
        std::fclose(stream);
        std::printf("seek error '%s' (SEEK_END)\n", path);
        return nullptr;
    }
    if (fseeko(stream, 0, SEEK_SET) != 0) {
        std::fclose(stream);
        std::printf("seek error '%s' (SEEK_SET)\n", path);
        return nullptr;
    }
    length = static_cast<int64_t>(end);
    return stream;
}

int read_image_stream(std::FILE* stream, const char* path, size_t length, std::vector<uint8_t>& data)
{
    try {
        data.resize(length);
    } catch (const std::bad_alloc&) {
        std::fclose(stream);
        std::printf("memory exhausted!\n");
        return -1;
    }
    const size_t read = std::fread(data.data(), 1, length, stream);
    std::fclose(stream);
    if (read != length) {
        std::printf("read error '%s'\n", path);
        return -1;
    }
    return 0;
}

int adopt_fat_image(fat_image& image, std::vector<uint8_t>& data, int header_size, const fat_geometry& geometry,
                    const char* path)
{
    close_fat_image(image);
    image.header_size = header_size;
    image.image_data.swap(data);
    image.image_size = static_cast<uint32_t>(image.image_data.size());
    image.geometry = geometry;
    if (load_fat(image) < 0) {
        std::printf("can't get fat '%s' offset=%08X\n", path, static_cast<unsigned>(header_size));
        return fail_open(image);
    }
    return 0;
}

int open_fat_image(fat_image& image, const char* path, int header_size)
{
    close_fat_image(image);
    image.header_size = header_size;
    int64_t length = 0;
    std::FILE* stream = open_image_stream(path, length);
    if (!stream) return fail_open(image);
    // Known before anything is allocated: the length decides the format.
    const fat_geometry* geometry = geometry_of(length, header_size);
    if (!geometry) {
        std::fclose(stream);
        std::printf("unsupported image '%s'\n", path);
        return fail_open(image);
    }
    std::vector<uint8_t> data;
    if (read_image_stream(stream, path, static_cast<size_t>(length), data) < 0) return fail_open(image);
    return adopt_fat_image(image, data, header_size, *geometry, path);
}

void close_fat_image(fat_image& image) { image = fat_image{}; }

int load_fat(fat_image& image)
{
    if (image.image_data.empty()) return -1;
    const fat_geometry& g = image.geometry;
    if (g.sectors_per_cluster <= 0 || g.bytes_per_sector <= 0 || g.total_sectors < g.first_data_sector ||
        g.fat_sectors <= 0)
        return -1;
    const int64_t fat_offset = sector_offset(image, g.fat_start);
    const int64_t fat_bytes = static_cast<int64_t>(g.fat_sectors) * g.bytes_per_sector;
    if (fat_offset < 0 || fat_offset + fat_bytes > static_cast<int64_t>(image.image_data.size())) return -1;

    const int32_t clusters = (g.total_sectors - g.first_data_sector) / g.sectors_per_cluster;
    image.cluster_count = clusters;
    // Entries 0 .. N+1, decoded in pairs from three bytes each.
    const int64_t entries = (static_cast<int64_t>(clusters) + 2 + 1) / 2 * 2;
    if ((2 * fat_bytes) / 3 < clusters + 2 || entries / 2 * 3 > fat_bytes) {
        std::printf("can't calculate FAT size\n");
        return -1;
    }
    try {
        image.cluster_links.assign(static_cast<size_t>(entries), 0);
    } catch (const std::bad_alloc&) {
        std::printf("memory exhausted!\n");
        return -1;
    }
    const uint8_t* fat = image.image_data.data() + fat_offset;
    for (size_t k = 0; k < image.cluster_links.size(); k += 2, fat += 3) {
        const uint32_t v = static_cast<uint32_t>(fat[0]) | static_cast<uint32_t>(fat[1]) << 8 |
                           static_cast<uint32_t>(fat[2]) << 16;
        image.cluster_links[k] = static_cast<int32_t>(v & 0xFFF);
        image.cluster_links[k + 1] = static_cast<int32_t>(v >> 12);
    }
    return 0;
}

int next_cluster(const fat_image& image, int cluster)
{
    if (cluster < 0 || cluster > image.cluster_count + 1 || static_cast<size_t>(cluster) >= image.cluster_links.size())
        return -1;
    return image.cluster_links[static_cast<size_t>(cluster)];
}

int cluster_to_sector(const fat_image& image, int cluster)
{
    if (cluster < first_data_cluster || cluster > image.cluster_count + 1) return -1;
    return image.geometry.first_data_sector + (cluster - first_data_cluster) * image.geometry.sectors_per_cluster;
}

int64_t sector_offset(const fat_image& image, int sector)
{
    if (sector < 0 || sector >= image.geometry.total_sectors) return -1;
    return image.header_size + static_cast<int64_t>(sector) * image.geometry.bytes_per_sector;
}

int make_dir_name(const char* name, uint8_t (&dir_name)[dir_name_bytes + 1])
{
    const auto* p = reinterpret_cast<const unsigned char*>(name);
    int n = 0;
    for (; n < 8 && *p && *p != '.'; ++p) dir_name[n++] = *p;
    while (n < 8) dir_name[n++] = ' ';
    if (*p == '.') {
        ++p;
        for (; n < dir_name_bytes && *p; ++p) dir_name[n++] = *p;  // a further '.' is copied
    }
    while (n < dir_name_bytes) dir_name[n++] = ' ';
    dir_name[dir_name_bytes] = 0;
    if (dir_name[0] == deleted_mark) dir_name[0] = escaped_e5;
    return *p ? -1 : 0;
}

const uint8_t* find_dir_entry(const fat_image& image, const uint8_t (&dir_name)[dir_name_bytes + 1],
                              bool ignore_case)
{
    const int64_t start = sector_offset(image, image.geometry.root_start);
    if (start < 0) return nullptr;
    const uint64_t fitting = (image.image_data.size() - static_cast<uint64_t>(start)) / dir_entry_bytes;
    const uint64_t entries = std::min<uint64_t>(image.geometry.root_entries, fitting);
    // Every entry counts, free ones included: the scan does not stop at a zero name byte.
    const uint8_t* entry = image.image_data.data() + start;
    for (uint64_t i = 0; i < entries; ++i, entry += dir_entry_bytes)
        if (same_name(entry + de_name, dir_name, ignore_case)) return entry;
    return nullptr;
}

int check_file_size(const char* name, int64_t size, int buffer_size)
{
    if (size > buffer_size) {
        std::printf("file size error '%s' %lld > %d\n", name, static_cast<long long>(size), buffer_size);
        return -1;
    }
    if (size < buffer_size)
        std::printf("file size mismatch '%s' %d != %d ... ignored\n", name, static_cast<int>(size), buffer_size);
    return 0;
}

int read_image_file(const fat_image& image, const char* name, uint8_t* buffer, int buffer_size, bool ignore_case)
{
    uint8_t dir_name[dir_name_bytes + 1];
    if (make_dir_name(name, dir_name) < 0) {
        std::printf("illegal filename '%s'\n", name);
        return -1;
    }
    const uint8_t* entry = find_dir_entry(image, dir_name, ignore_case);
    if (!entry) {
        std::printf("can't find '%s'\n", name);
        return -1;
    }
    int cluster = get_u16_le(entry + de_first_cluster);
    const uint32_t size = get_u32_le(entry + de_file_size);
    if (check_file_size(name, size, buffer_size) < 0) return -1;

    // Each pass copies a whole cluster (the last one as far as needed) from a cluster not
    // seen before, so a chain that loops back fails instead of repeating data.
    std::bitset<chain_end> seen;
    const size_t cluster_bytes =
        static_cast<size_t>(image.geometry.sectors_per_cluster) * static_cast<size_t>(image.geometry.bytes_per_sector);
    size_t copied = 0;
    while (copied < size) {
        if (cluster < first_data_cluster || cluster >= chain_end || seen[static_cast<size_t>(cluster)]) {
            std::printf("illegal cluster 0x%X\n", static_cast<unsigned>(cluster));
            return -1;
        }
        seen.set(static_cast<size_t>(cluster));
        const int sector = cluster_to_sector(image, cluster);
        const int64_t offset = sector_offset(image, sector);
        const size_t piece = std::min<size_t>(cluster_bytes, size - copied);
        if (sector < 0 || offset < 0 ||
            static_cast<uint64_t>(offset) + piece > image.image_data.size()) {
            std::printf("can't get sector from cluster 0x%X\n", static_cast<unsigned>(cluster));
            return -1;
        }
        std::memcpy(buffer + copied, image.image_data.data() + offset, piece);
        copied += piece;
        cluster = next_cluster(image, cluster);
    }
    return 0;
}
