// The container writers of apple2_containers.hpp.
//
// A track is written as a drive would format it: a gap of sync bytes, then for each
// physical sector 0-15 an address field (D5 AA 96, volume, track, sector and checksum in
// 4-and-4 code, DE AA EB), a gap, a data field (D5 AA AD, the sector in 6-and-2 code with
// its checksum, DE AA EB) and a gap. ProDOS places block b's halves (positions 2 (b mod 8)
// and 2 (b mod 8) + 1 of track b / 8) at physical sector 2 p mod 15 for position p < 15,
// and position 15 at physical sector 15. In a NIB file a sync byte is FF; in a WOZ bit
// stream it is FF followed by two zero bits.

#include "apple2_containers.hpp"

#include "sample_data.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace sample {

namespace {

constexpr uint8_t volume_number = 254;

// Gaps, in sync bytes.
constexpr int gap_first = 48;
constexpr int gap_address_data = 6;
constexpr int gap_after_data = 27;
constexpr int woz_gap_first = 40;
constexpr int woz_gap_after_data = 16;

constexpr size_t nib_track = 6656;
constexpr size_t nib_short_track = 6384;

// The disk bytes of the 6-and-2 code: high bit set, at most one pair of adjacent zero bits,
// at least one pair of adjacent one bits below the high bit, and neither D5 nor AA,
// which only the field marks use. There are 64, in rising order.
std::array<uint8_t, 64> disk_code()
{
    std::array<uint8_t, 64> code{};
    size_t n = 0;
    for (int b = 0x80; b <= 0xFF && n < 64; ++b) {
        int zero_pairs = 0, one_pairs = 0;
        for (int k = 0; k < 7; ++k) {
            const int here = (b >> k) & 1, next = (b >> (k + 1)) & 1;
            zero_pairs += !here && !next;
            one_pairs += here && next && k < 6;
        }
        if (zero_pairs <= 1 && one_pairs >= 1 && b != 0xD5 && b != 0xAA)
            code[n++] = uint8_t(b);
    }
    return code;
}

// One byte of a track: a sync byte (followed by `sync_zeros` zero bits in a bit stream)
// or a plain byte.
struct track_byte {
    uint8_t value;
    bool sync;
};

using track_bytes = std::vector<track_byte>;

void put(track_bytes& out, std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes)
        out.push_back({b, false});
}

void put_sync(track_bytes& out, int n)
{
    for (int k = 0; k < n; ++k)
        out.push_back({0xFF, true});
}

void put_four_and_four(track_bytes& out, uint8_t v)
{
    put(out, {uint8_t((v >> 1) | 0xAA), uint8_t(v | 0xAA)});
}

void put_sector_data(track_bytes& out, const uint8_t* data, const std::array<uint8_t, 64>& code)
{
    std::array<uint8_t, 342> six{};
    for (size_t i = 0; i < 256; ++i) {
        const int pair = ((data[i] & 1) << 1) | ((data[i] >> 1) & 1);
        six[i % 86] = uint8_t(six[i % 86] | pair << (2 * (i / 86)));
        six[86 + i] = uint8_t(data[i] >> 2);
    }
    uint8_t before = 0;
    for (uint8_t v : six) {
        put(out, {code[v ^ before]});
        before = v;
    }
    put(out, {code[before]});
}

// The bytes of track t of a disk in block order.
track_bytes format_track(const std::vector<uint8_t>& blocks, int t, int first_gap, int last_gap)
{
    static const std::array<uint8_t, 64> code = disk_code();
    track_bytes out;
    put_sync(out, first_gap);
    for (int physical = 0; physical < apple2_sectors_per_track; ++physical) {
        int position = 0;
        while (position < 15 && (2 * position) % 15 != physical)
            ++position;  // physical 15 is position 15
        put(out, {0xD5, 0xAA, 0x96});
        put_four_and_four(out, volume_number);
        put_four_and_four(out, uint8_t(t));
        put_four_and_four(out, uint8_t(physical));
        put_four_and_four(out, uint8_t(volume_number ^ t ^ physical));
        put(out, {0xDE, 0xAA, 0xEB});
        put_sync(out, gap_address_data);
        put(out, {0xD5, 0xAA, 0xAD});
        put_sector_data(out, blocks.data() + size_t(t) * apple2_track_bytes + size_t(position) * apple2_sector_bytes, code);
        put(out, {0xDE, 0xAA, 0xEB});
        put_sync(out, last_gap);
    }
    return out;
}

std::vector<uint8_t> nib_image(const std::vector<uint8_t>& blocks, size_t per_track)
{
    std::vector<uint8_t> out;
    for (int t = 0; t < apple2_tracks; ++t) {
        const track_bytes track = format_track(blocks, t, gap_first, gap_after_data);
        for (const track_byte& b : track)
            out.push_back(b.value);
        out.resize(size_t(t + 1) * per_track, 0xFF);  // the rest of the revolution is sync
    }
    return out;
}

// A track's bit stream, most significant bit first; returns the bit count.
size_t bit_stream(const std::vector<uint8_t>& blocks, int t, std::vector<uint8_t>& bits)
{
    size_t n = 0;
    auto put_bit = [&](int bit) {
        if (n / 8 >= bits.size())
            bits.push_back(0);
        if (bit)
            bits[n / 8] = uint8_t(bits[n / 8] | 0x80 >> (n % 8));
        ++n;
    };
    bits.clear();
    for (const track_byte& b : format_track(blocks, t, woz_gap_first, woz_gap_after_data)) {
        for (int k = 7; k >= 0; --k)
            put_bit((b.value >> k) & 1);
        if (b.sync) {
            put_bit(0);
            put_bit(0);
        }
    }
    return n;
}

uint32_t crc32(const std::vector<uint8_t>& bytes, size_t from)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void put_chunk_header(std::vector<uint8_t>& out, const char* id, size_t size)
{
    const size_t at = out.size();
    out.resize(at + 8);
    for (size_t k = 0; k < 4; ++k)
        out[at + k] = uint8_t(id[k]);
    put_le32(out, at + 4, uint32_t(size));
}

std::vector<uint8_t> woz_image(const std::vector<uint8_t>& blocks, int version)
{
    std::vector<uint8_t> out = {'W', 'O', 'Z', uint8_t('0' + version), 0xFF, 0x0A, 0x0D, 0x0A, 0, 0, 0, 0};
    // INFO: version, 5.25-inch, not write protected, not synchronised, not cleaned, creator;
    // version 2 adds one side, 16-sector boot, 4 us bit timing and the largest track.
    put_chunk_header(out, "INFO", 60);
    const size_t info = out.size();
    out.resize(info + 60);
    out[info] = uint8_t(version);
    out[info + 1] = 1;
    const char creator[] = "zk sample data";
    for (size_t k = 0; k < 32; ++k)
        out[info + 5 + k] = k < sizeof creator - 1 ? uint8_t(creator[k]) : ' ';
    // TMAP: quarter track 4 t is track t.
    put_chunk_header(out, "TMAP", 160);
    const size_t tmap = out.size();
    out.resize(tmap + 160, 0xFF);
    for (int t = 0; t < apple2_tracks; ++t)
        out[tmap + size_t(4 * t)] = uint8_t(t);

    std::vector<uint8_t> bits;
    if (version == 1) {
        // TRKS: one 6656-byte record a track: bits, bytes used, bit count, no splice point.
        put_chunk_header(out, "TRKS", size_t(apple2_tracks) * 6656);
        for (int t = 0; t < apple2_tracks; ++t) {
            const size_t count = bit_stream(blocks, t, bits);
            const size_t at = out.size();
            out.resize(at + 6656);
            std::copy(bits.begin(), bits.end(), out.begin() + long(at));
            put_le16(out, at + 6646, unsigned(bits.size()));
            put_le16(out, at + 6648, unsigned(count));
            put_le16(out, at + 6650, 0xFFFF);
        }
    } else {
        // TRKS: 160 entries (first block, block count, bit count), then the bit streams in
        // 512-byte blocks from the start of the file.
        const size_t blocks_per_track = 13;
        put_chunk_header(out, "TRKS", 1280 + size_t(apple2_tracks) * blocks_per_track * 512);
        const size_t entries = out.size();
        out.resize(entries + 1280);
        for (int t = 0; t < apple2_tracks; ++t) {
            const size_t count = bit_stream(blocks, t, bits);
            const size_t at = out.size();
            put_le16(out, entries + 8 * size_t(t), unsigned(at / 512));
            put_le16(out, entries + 8 * size_t(t) + 2, unsigned(blocks_per_track));
            put_le32(out, entries + 8 * size_t(t) + 4, uint32_t(count));
            out.resize(at + blocks_per_track * 512);
            std::copy(bits.begin(), bits.end(), out.begin() + long(at));
        }
        out[info + 37] = 1;
        out[info + 38] = 1;
        out[info + 39] = 32;
        put_le16(out, info + 44, unsigned(blocks_per_track));
    }
    put_le32(out, 8, crc32(out, 12));
    return out;
}

// 2MG: a 64-byte header, then the sectors; format 0 for the DOS order, 1 for ProDOS.
std::vector<uint8_t> two_img_image(const std::vector<uint8_t>& sectors, uint32_t format)
{
    std::vector<uint8_t> out(64 + sectors.size());
    const char head[] = "2IMGZKSD";
    for (size_t k = 0; k < 8; ++k)
        out[k] = uint8_t(head[k]);
    put_le16(out, 8, 64);
    put_le16(out, 10, 1);
    put_le32(out, 12, format);
    put_le32(out, 20, format == 1 ? uint32_t(apple2_disk_bytes / 512) : 0);
    put_le32(out, 24, 64);
    put_le32(out, 28, uint32_t(sectors.size()));
    std::copy(sectors.begin(), sectors.end(), out.begin() + 64);
    return out;
}

}  // namespace

int write_apple2_containers(const std::filesystem::path& dir, const std::string& stem,
                            const std::vector<uint8_t>& block_order, const std::vector<uint8_t>& dos_order)
{
    struct output {
        std::string name;
        std::vector<uint8_t> bytes;
    };
    const output outputs[] = {
        {".po", block_order},
        {"-do.2mg", two_img_image(dos_order, 0)},
        {"-po.2mg", two_img_image(block_order, 1)},
        {".nib", nib_image(block_order, nib_track)},
        {"-6384.nib", nib_image(block_order, nib_short_track)},
        {"-woz1.woz", woz_image(block_order, 1)},
        {"-woz2.woz", woz_image(block_order, 2)},
    };
    for (const output& o : outputs)
        if (write_output_file(dir / (stem + o.name), o.bytes, o.bytes.size()) < 0)
            return -1;
    return 0;
}

}  // namespace sample
