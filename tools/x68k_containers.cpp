// Writers of the D88 and DIM forms of the 2HD disk, its headerless .hdm, and the folder.
//
// D88: a 0x2B0-byte header, then the tracks in order (track = cylinder * 2 + head).
//   header 0x00 disk name (17 bytes, zero-terminated)   0x1A write protect (0)
//          0x1B media (0x20 = 2HD)   0x1C file length (4)   0x20 track offsets (164 x 4)
//   sector 0 C  1 H  2 R  3 N (1024 bytes = 3)  4 sectors in the track (2)  6 density
//          7 deleted mark  8 status  14 data length (2), then the data
//   The sectors of a track are stored interleaved (R = 1 3 5 7 2 4 6 8), so a reader must
//   place each by its own header.
// DIM: a 256-byte header, then every stored track.
//   0x00 media type (0 = 2HD)   0x01 one byte per track: 1 stored   0xAB "DIFC HEADER"
// The folder holds the disk's files under lower-case names.

#include "x68k_containers.hpp"

#include "sample_data.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace sample {

namespace {

constexpr int cylinders = 77;
constexpr int heads = 2;
constexpr int sectors_per_track = 8;
constexpr int sector_bytes = 1024;
constexpr int size_code = 3;  // 128 << 3 = 1024
constexpr size_t track_bytes = size_t(sectors_per_track) * sector_bytes;
constexpr int tracks = cylinders * heads;
constexpr size_t disk_bytes = track_bytes * tracks;

constexpr size_t d88_header = 0x2B0;
constexpr size_t d88_sector_header = 16;
constexpr uint8_t d88_media_2hd = 0x20;
constexpr int interleave[sectors_per_track] = {1, 3, 5, 7, 2, 4, 6, 8};

constexpr size_t dim_header = 256;

std::vector<uint8_t> encode_d88(const std::vector<uint8_t>& image)
{
    const size_t length = d88_header + size_t(tracks) * sectors_per_track * (d88_sector_header + sector_bytes);
    std::vector<uint8_t> out(d88_header, 0);
    std::memcpy(out.data(), "ZK SAMPLE", 9);
    out[0x1B] = d88_media_2hd;
    put_le32(out, 0x1C, uint32_t(length));
    for (int t = 0; t < tracks; ++t) {
        put_le32(out, 0x20 + 4 * size_t(t), uint32_t(out.size()));
        for (const int r : interleave) {
            std::vector<uint8_t> header(d88_sector_header, 0);
            header[0] = uint8_t(t / heads);
            header[1] = uint8_t(t % heads);
            header[2] = uint8_t(r);
            header[3] = size_code;
            put_le16(header, 4, sectors_per_track);
            put_le16(header, 14, sector_bytes);
            out.insert(out.end(), header.begin(), header.end());
            const auto data = image.begin() + std::ptrdiff_t(size_t(t) * track_bytes + size_t(r - 1) * sector_bytes);
            out.insert(out.end(), data, data + sector_bytes);
        }
    }
    return out;
}

std::vector<uint8_t> encode_dim(const std::vector<uint8_t>& image)
{
    std::vector<uint8_t> out(dim_header, 0);
    std::memcpy(out.data() + 0xAB, "DIFC HEADER", 11);
    for (int t = 0; t < tracks; ++t) {
        const auto track = image.begin() + std::ptrdiff_t(size_t(t) * track_bytes);
        if (std::all_of(track, track + std::ptrdiff_t(track_bytes), [](uint8_t b) { return b == 0; }))
            continue;  // an empty track is left out
        out[1 + size_t(t)] = 1;
        out.insert(out.end(), track, track + std::ptrdiff_t(track_bytes));
    }
    return out;
}

std::string lower_case(std::string name)
{
    for (char& c : name)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

int write_x68k_containers(const std::filesystem::path& out_dir, const std::vector<uint8_t>& image,
                          const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files)
{
    const std::filesystem::path dir = out_dir / "x68k-formats";
    const std::filesystem::path folder = dir / "folder";
    if (image.size() != disk_bytes) {
        std::printf("error: the disk is %zu bytes, not %zu\n", image.size(), disk_bytes);
        return -1;
    }
    if (make_output_dir(folder) < 0)
        return -1;
    const std::vector<uint8_t> d88 = encode_d88(image), dim = encode_dim(image);
    if (write_output_file(dir / "zk-britannia.d88", d88, d88.size()) < 0 ||
        write_output_file(dir / "zk-britannia.dim", dim, dim.size()) < 0 ||
        write_output_file(dir / "ZK_Britania.hdm", image, disk_bytes) < 0)
        return -1;
    for (const auto& [name, bytes] : files)
        if (write_output_file(folder / lower_case(name), bytes, bytes.size()) < 0)
            return -1;
    return 0;
}

}  // namespace sample
