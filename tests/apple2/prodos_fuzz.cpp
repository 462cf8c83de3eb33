// libFuzzer harness for the ProDOS reader, the tile loader and the raw track reads.
//
// Input: byte 0 chooses the sector order (bit 0), raw or patched image (bit 1) and the
// shape type (bits 2-3). A raw input is the image itself; otherwise the rest is a list of
// (offset low, offset high, value) patches to a sound volume with every storage type and
// a subdirectory, whose second byte also cuts the image short when non-zero. The raw track
// reads see the image behind 30 empty tracks.
//
// Build and run (clang), from the top of the tree:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. -o prodos_fuzz
//       tests/apple2/prodos_fuzz.cpp tests/apple2/prodos_builder.cpp apple2/*.cpp bitmap/*.cpp
//   (one command line)
//   ./prodos_fuzz -max_len=70000 -max_total_time=60
// or configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build prodos_fuzz.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "apple2/hires_tiles.hpp"
#include "apple2/prodos.hpp"
#include "prodos_builder.hpp"

namespace {

std::vector<uint8_t> template_blocks()
{
    test_volume v = new_volume("V", 96);
    link_dir_block(v, 2, 0, 3);
    link_dir_block(v, 3, 2, 0);
    std::vector<uint8_t> shapes(16384);
    for (size_t i = 0; i < shapes.size(); ++i) shapes[i] = static_cast<uint8_t>(i * 7);
    put_entry(v, 2, 1, 2, "SHAPES", put_file_data(v, 2, shapes), 16384);
    put_entry(v, 2, 2, 1, "SEED", put_file_data(v, 1, std::vector<uint8_t>(300, 1)), 300);
    put_entry(v, 2, 3, 3, "TREE", put_file_data(v, 3, std::vector<uint8_t>(3000, 2), {1}), 3000);
    const unsigned sub = new_subdirectory(v, "SUB", 2, 4);
    put_entry(v, 2, 4, 13, "SUB", sub, 512);
    put_entry(v, sub, 1, 1, "FILE", put_file_data(v, 1, std::vector<uint8_t>(40, 3)), 40);
    put_entry(v, 3, 0, 2, "LATE", put_file_data(v, 2, std::vector<uint8_t>(1500, 4), {0}), 1500);
    return v.blocks;
}

// A file in memory that the readers open by name.
struct memory_file {
    int fd = -1;
    std::string path;
};

memory_file make_memory_file(const char* name)
{
    memory_file file;
    file.fd = memfd_create(name, 0);
    file.path = "/proc/self/fd/" + std::to_string(file.fd);
    return file;
}

bool fill(const memory_file& file, const std::vector<uint8_t>& bytes)
{
    if (ftruncate(file.fd, 0) != 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(file.fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void read_everything(const prodos_volume& volume, const dir_block* directory, const std::string& prefix, int depth)
{
    for (const dir_block* block = directory; block; block = block->next.get()) {
        for (size_t k = block == directory ? 1 : 0; k < block->entries.size(); ++k) {
            const dir_entry& entry = block->entries[k];
            const std::string path = prefix + std::string(reinterpret_cast<const char*>(entry.name), entry.name_length);
            if (entry.storage_type == storage_subdirectory && subdirectory_of(entry) && depth < 3)
                read_everything(volume, subdirectory_of(entry), path + "/", depth + 1);
            if (entry.storage_type < storage_seedling || entry.storage_type > storage_tree) continue;
            std::vector<uint8_t> buffer(std::min<size_t>(file_of(entry)->eof, 1 << 20));
            read_file(volume, path.c_str(), buffer.data(), buffer.size());  // exact size: overruns show
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The readers' lines are not wanted on the fuzzer's console.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::vector<uint8_t> sound = template_blocks();
    static const memory_file image_file = make_memory_file("image");
    static const memory_file tracks_file = make_memory_file("tracks");
    if (size < 1 || image_file.fd < 0 || tracks_file.fd < 0) return 0;
    const int order = (data[0] & 1) ? 1 : 2;
    const auto type = static_cast<shape_type>((data[0] >> 2) % 3);
    std::vector<uint8_t> image;
    if (data[0] & 2) {
        test_volume v;
        v.blocks = sound;
        image = disk_image(v, order);
        for (size_t i = 2; i + 2 < size; i += 3) image[(data[i] | data[i + 1] << 8) % image.size()] = data[i + 2];
        if (size > 1 && data[1]) image.resize(image.size() * data[1] / 256);
    } else {
        image.assign(data + 1, data + size);
    }
    if (!fill(image_file, image)) return 0;

    prodos_volume volume;
    if (open_volume(volume, image_file.path.c_str(), order) == 0) {
        read_everything(volume, volume.directory.get(), "", 0);
        for (const char* path : {"SHAPES", "/V/SHAPES", "/V", "/", "SUB/FILE", "/V/SUB/FILE/X", "TREE"}) {
            if (const dir_entry* entry = find_file(volume, path)) {
                std::vector<uint8_t> buffer(std::min<size_t>(file_of(*entry)->eof, 1 << 20) / 2);
                read_file(volume, path, buffer.data(), buffer.size());
            }
        }
    }
    close_volume(volume);
    tile_sheet sheet;
    load_apple_tiles(image_file.path.c_str(), order, sheet, type, (data[0] & 16) != 0);

    std::vector<uint8_t> tracks(30 * 4096, 0);
    tracks.insert(tracks.end(), image.begin(), image.end());
    if (!fill(tracks_file, tracks)) return 0;
    std::vector<uint8_t> map(16384), odd_map(1000), npcs(9 * 768);
    read_map_tracks(tracks_file.path.c_str(), map.data(), map.size(), order);
    read_map_tracks(tracks_file.path.c_str(), odd_map.data(), odd_map.size(), order);
    read_npc_track(tracks_file.path.c_str(), npcs.data(), 9, order);
    return 0;
}
