// FAT12 volume builder.

#include "fat12_image.hpp"

#include "sample_data.hpp"

#include <algorithm>
#include <cstdio>

namespace sample {

namespace {

constexpr int end_of_chain = 0xFFF;
constexpr int sectors_per_track = 8;
constexpr int heads = 2;

size_t sector_offset(int sector) { return size_t(sector) * fat_bytes_per_sector; }

size_t cluster_offset(int cluster) { return sector_offset(fat_first_data_sector + cluster - 2); }

uint16_t dos_time(const fat_date_time& t) { return uint16_t(t.hour << 11 | t.minute << 5 | t.second / 2); }

uint16_t dos_date(const fat_date_time& t) { return uint16_t((t.year - 1980) << 9 | t.month << 5 | t.day); }

}  // namespace

std::string fat_name11(const std::string& name)
{
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    base.resize(8, ' ');
    ext.resize(3, ' ');
    return base + ext;
}

void fat_format(fat_volume& volume, const std::string& oem_name)
{
    volume.image.assign(fat_image_bytes, 0);
    volume.links.assign(size_t(fat_last_cluster + 1), 0);
    volume.links[0] = 0xF00 | fat_media_descriptor;
    volume.links[1] = 0xFFF;

    std::vector<uint8_t>& b = volume.image;
    // Boot sector: a jump over the parameter block, the parameter block of
    // this geometry, a boot loop that just halts, and the signature.
    b[0] = 0xEB;
    b[1] = 0x3C;
    b[2] = 0x90;
    for (size_t k = 0; k < 8; ++k)
        b[3 + k] = uint8_t(k < oem_name.size() ? oem_name[k] : ' ');
    put_le16(b, 11, fat_bytes_per_sector);
    b[13] = 1;                                  // sectors per cluster
    put_le16(b, 14, fat_first_fat_sector);      // reserved sectors
    b[16] = 2;                                  // FAT copies
    put_le16(b, 17, fat_root_entries);
    put_le16(b, 19, fat_total_sectors);
    b[21] = fat_media_descriptor;
    put_le16(b, 22, fat_sectors_per_fat);
    put_le16(b, 24, sectors_per_track);
    put_le16(b, 26, heads);
    put_le32(b, 28, 0);                         // hidden sectors
    put_le32(b, 32, 0);                         // total sectors (32-bit form, unused)
    b[36] = 0x00;                               // drive number
    b[38] = 0x29;                               // extended boot signature
    put_le32(b, 39, 0x19900315);                // serial number
    const char label[] = "ZK BRITANIA";
    for (size_t k = 0; k < 11; ++k)
        b[43 + k] = uint8_t(label[k]);
    const char type[] = "FAT12   ";
    for (size_t k = 0; k < 8; ++k)
        b[54 + k] = uint8_t(type[k]);
    // Boot code at 0x3E: cli; hlt; jmp $-1.
    b[0x3E] = 0xFA;
    b[0x3F] = 0xF4;
    b[0x40] = 0xEB;
    b[0x41] = 0xFD;
    b[510] = 0x55;
    b[511] = 0xAA;

    // Formatted data sectors hold the format filler byte.
    for (size_t i = sector_offset(fat_first_data_sector); i < b.size(); ++i)
        b[i] = 0xE5;
}

int fat_place_file(fat_volume& volume, const std::string& name, const std::vector<uint8_t>& bytes,
                   const std::vector<cluster_run>& runs)
{
    std::vector<int> chain;
    for (const cluster_run& r : runs)
        for (int c = r.first; c <= r.last; ++c)
            chain.push_back(c);
    const size_t needed = (bytes.size() + fat_bytes_per_sector - 1) / fat_bytes_per_sector;
    if (chain.size() != needed) {
        std::printf("error: '%s' needs %zu clusters, its runs hold %zu\n", name.c_str(), needed, chain.size());
        return -1;
    }
    for (int c : chain)
        if (c < 2 || c > fat_last_cluster || volume.links[size_t(c)] != 0) {
            std::printf("error: '%s': cluster %d is outside the data area or taken\n", name.c_str(), c);
            return -1;
        }
    for (size_t i = 0; i < chain.size(); ++i) {
        const size_t from = i * fat_bytes_per_sector;
        const size_t count = std::min<size_t>(fat_bytes_per_sector, bytes.size() - from);
        const size_t at = cluster_offset(chain[i]);
        for (size_t k = 0; k < fat_bytes_per_sector; ++k)
            volume.image[at + k] = k < count ? bytes[from + k] : 0;
        volume.links[size_t(chain[i])] = i + 1 < chain.size() ? chain[i + 1] : end_of_chain;
    }
    return 0;
}

void fat_put_entry(fat_volume& volume, int index, const std::string& name11, uint8_t attributes,
                   const fat_date_time& stamp, int first_cluster, uint32_t size)
{
    const size_t at = sector_offset(fat_root_sector) + size_t(index) * 32;
    std::vector<uint8_t>& b = volume.image;
    for (size_t k = 0; k < 32; ++k)
        b[at + k] = 0;
    for (size_t k = 0; k < 11; ++k)
        b[at + k] = uint8_t(name11[k]);
    b[at + 11] = attributes;
    put_le16(b, at + 22, dos_time(stamp));
    put_le16(b, at + 24, dos_date(stamp));
    put_le16(b, at + 26, unsigned(first_cluster));
    put_le32(b, at + 28, size);
}

void fat_write_tables(fat_volume& volume)
{
    for (int copy = 0; copy < 2; ++copy) {
        const size_t at = sector_offset(fat_first_fat_sector + copy * fat_sectors_per_fat);
        const size_t fat_size = size_t(fat_sectors_per_fat) * fat_bytes_per_sector;
        for (size_t k = 0; k < fat_size; ++k)
            volume.image[at + k] = 0;
        // Two 12-bit entries in three bytes, the first in the low bits.
        for (size_t c = 0; c < volume.links.size(); c += 2) {
            const uint32_t low = uint32_t(volume.links[c]) & 0xFFF;
            const uint32_t high = c + 1 < volume.links.size() ? uint32_t(volume.links[c + 1]) & 0xFFF : 0;
            const uint32_t v = low | high << 12;
            const size_t p = at + c / 2 * 3;
            volume.image[p] = uint8_t(v & 0xFF);
            volume.image[p + 1] = uint8_t((v >> 8) & 0xFF);
            volume.image[p + 2] = uint8_t((v >> 16) & 0xFF);
        }
    }
}

}  // namespace sample
