// libFuzzer harness for the ProDOS reader. A valid program disk holding SHAPES (a sapling file),
// a subdirectory with a tree file and a seedling file is built once as an image file in memory,
// one per sector order; each input overwrites the blocks the reader trusts:
//   byte 0        bit 0: sector order 1 instead of 2
//   1 - 512       volume directory key block 2 (header, SHAPES entry, subdirectory entry)
//   513 - 1024    volume directory block 3
//   1025 - 1536   the index block of SHAPES
// Bytes the input does not reach keep the valid disk's. Then, as the tile loader does, the
// volume is opened and SHAPES found and read; one path through the subdirectory is read too.
// tests/fuzz/run.sh builds and runs it (or -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++).
// Fuzz seeds: none but its own
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "apple2/hires_tiles.hpp"
#include "apple2/prodos.hpp"
#include "fuzz/fuzz_support.hpp"
#include "prodos_builder.hpp"

namespace {

struct image_file {
    int fd = -1;
    std::string path;
};

image_file images[2];                    // sector order 2, order 1
unsigned fuzzed_blocks[3] = {2, 3, 0};   // the last is SHAPES's index block
std::vector<uint8_t> sample_blocks[3];

constexpr const char* read_paths[] = {"SHAPES", "/ZK.PROGRAM/DATA/SAVE"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // 30 tracks: an image under 128 KiB is served from the sanitizer's reused memory instead of
    // a fresh mapping each run, which would halve the rate.
    test_volume v = new_volume("ZK.PROGRAM", 240);
    link_dir_block(v, 2, 0, 3);
    link_dir_block(v, 3, 2, 0);
    std::vector<uint8_t> shapes(apple_shapes_bytes);
    for (size_t i = 0; i < shapes.size(); ++i) shapes[i] = static_cast<uint8_t>(i * 7);
    fuzzed_blocks[2] = put_file_data(v, 2, shapes);
    put_entry(v, 2, 1, 2, "SHAPES", fuzzed_blocks[2], apple_shapes_bytes);
    const unsigned sub = new_subdirectory(v, "DATA", 2, 2);
    put_entry(v, 2, 2, 13, "DATA", sub, 512);
    put_entry(v, sub, 1, 3, "SAVE", put_file_data(v, 3, std::vector<uint8_t>(3000, 2), {1}), 3000);
    put_entry(v, 3, 0, 1, "README", put_file_data(v, 1, std::vector<uint8_t>(300, 1)), 300);

    std::vector<uint8_t> seed{0};
    for (int k = 0; k < 3; ++k) {
        sample_blocks[k].assign(block_at(v, fuzzed_blocks[k]), block_at(v, fuzzed_blocks[k]) + block_bytes);
        seed.insert(seed.end(), sample_blocks[k].begin(), sample_blocks[k].end());
    }
    write_seed_when_asked(seed);
    for (int order : {sector_order_po, sector_order_do}) {
        image_file& file = images[order == sector_order_do];
        const std::vector<uint8_t> image = disk_image(v, order);
        file.fd = memfd_create("image", 0);
        file.path = "/proc/self/fd/" + std::to_string(file.fd);
        if (file.fd < 0 || pwrite(file.fd, image.data(), image.size(), 0) != static_cast<ssize_t>(image.size()))
            std::abort();
    }
    // The reader's lines are not wanted on the fuzzer's console.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int order = size > 0 && (data[0] & 1) ? sector_order_do : sector_order_po;
    const image_file& file = images[order == sector_order_do];
    const uint8_t* table = sector_table_of(order);
    const uint8_t* input = size > 0 ? data + 1 : data;
    size_t left = size > 0 ? size - 1 : 0;
    for (int k = 0; k < 3; ++k) {
        uint8_t block[block_bytes];
        overwrite(block, sample_blocks[k], input, left);
        const unsigned b = fuzzed_blocks[k];
        for (unsigned half = 0; half < 2; ++half) {
            const off_t at = static_cast<off_t>(track_bytes * (b / 8) + sector_bytes * table[2 * (b % 8) + half]);
            if (pwrite(file.fd, block + sector_bytes * half, sector_bytes, at) != static_cast<ssize_t>(sector_bytes)) std::abort();
        }
    }

    prodos_volume volume;
    if (open_volume(volume, file.path.c_str(), order) == 0) {
        for (const char* path : read_paths) {
            const dir_entry* entry = find_file(volume, path);
            const file_fields* file_entry = entry ? file_of(*entry) : nullptr;
            if (!file_entry) continue;
            std::vector<uint8_t> buffer(std::min<size_t>(file_entry->eof, apple_shapes_bytes));  // exact: overruns show
            read_file(volume, path, buffer.data(), buffer.size());
        }
    }
    close_volume(volume);
    return 0;
}
