// libFuzzer harness for the FAT12 reader. A valid 2HD image holding every file the X68000 and
// PC-98 programs read is built once; each input overwrites the structures the reader trusts:
//   byte 0       bit 0: the image behind a 4096-byte header (FDI) instead of none (XDF)
//   1 - 512      root directory entries 0-15 (names, first clusters, file sizes)
//   513 - 2560   FAT copy 1
// Bytes the input does not reach keep the valid image's. Then, as the programs do, the FAT is
// loaded and each file is read into a buffer of the programs' size. tests/fuzz/run.sh builds
// and runs it (or -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++, target fat12_fuzz).
// Fuzz seeds: none but its own
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "settlement/settlement_data.hpp"
#include "tools/fat12_image.hpp"
#include "world/world_map.hpp"
#include "x68k/fat12.hpp"
#include "x68k/x68k_tiles.hpp"

namespace {

struct program_file {
    const char* name;
    size_t bytes;
};

std::vector<program_file> program_files()
{
    std::vector<program_file> files;
    for (const ch_file& file : ch_files) files.push_back({file.name, static_cast<size_t>(file.bytes)});
    for (const settlement_group& group : settlement_groups)
        files.insert(files.end(), {{group.map_file, settlement_map_bytes}, {group.npc_file, npc_data_bytes}});
    for (const world_map_entry& map : world_maps) files.push_back({map.data_file, world_map_bytes});
    return files;
}

constexpr size_t root_offset = size_t{sample::fat_root_sector} * sample::fat_bytes_per_sector;
constexpr size_t root_bytes = 16 * 32;
constexpr size_t fat_offset = size_t{sample::fat_first_fat_sector} * sample::fat_bytes_per_sector;
constexpr size_t fat_bytes = size_t{sample::fat_sectors_per_fat} * sample::fat_bytes_per_sector;

fat_image images[2];                          // without and with the header
std::vector<uint8_t> sample_root, sample_fat;  // the valid structures

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    sample::fat_volume volume;
    sample::fat_format(volume, "ZKFUZZ");
    int cluster = 2, index = 0;
    for (const program_file& file : program_files()) {
        const int clusters = static_cast<int>((file.bytes + 1023) / 1024);
        std::vector<uint8_t> bytes(file.bytes, static_cast<uint8_t>(index));
        if (sample::fat_place_file(volume, file.name, bytes, {{cluster, cluster + clusters - 1}}) != 0) std::abort();
        sample::fat_put_entry(volume, index++, sample::fat_name11(file.name), 0x20, {1990, 3, 15, 12, 0, 0}, cluster,
                              static_cast<uint32_t>(file.bytes));
        cluster += clusters;
    }
    sample::fat_write_tables(volume);
    sample_root.assign(volume.image.begin() + root_offset, volume.image.begin() + root_offset + root_bytes);
    sample_fat.assign(volume.image.begin() + fat_offset, volume.image.begin() + fat_offset + fat_bytes);
    std::vector<uint8_t> seed{0};
    seed.insert(seed.end(), sample_root.begin(), sample_root.end());
    seed.insert(seed.end(), sample_fat.begin(), sample_fat.end());
    write_seed_when_asked(seed);

    for (int header = 0; header < 2; ++header) {
        fat_image& image = images[header];
        image.header_size = header * 4096;
        image.image_data.assign(static_cast<size_t>(image.header_size), 0);
        image.image_data.insert(image.image_data.end(), volume.image.begin(), volume.image.end());
        image.image_size = static_cast<uint32_t>(image.image_data.size());
        image.geometry = fat_geometries[0];
    }
    // The reader's lines are not wanted on the fuzzer's console.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::vector<program_file> files = program_files();
    static std::vector<std::vector<uint8_t>> buffers(files.size());  // each of the program's size
    fat_image& image = images[size > 0 ? data[0] & 1 : 0];
    uint8_t* disk = image.image_data.data() + image.header_size;
    const uint8_t* input = size > 0 ? data + 1 : data;
    size_t left = size > 0 ? size - 1 : 0;
    overwrite(disk + root_offset, sample_root, input, left);
    overwrite(disk + fat_offset, sample_fat, input, left);

    if (load_fat(image) != 0) __builtin_trap();  // the geometry always loads
    for (size_t i = 0; i < files.size(); ++i) {
        buffers[i].resize(files[i].bytes);
        const int status = read_image_file(image, files[i].name, buffers[i].data(), static_cast<int>(files[i].bytes), true);
        if (status != 0 && status != -1) __builtin_trap();
    }
    return 0;
}
