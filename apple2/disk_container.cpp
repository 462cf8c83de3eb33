// The container layer: recognition, the sector order of each disk, and the 2MG, NIB and
// WOZ decoders. Recognition and order rules are in disk_container.hpp.
//
// 2MG header (64 bytes, little-endian):
//   0   4    "2IMG"              4   4    creator
//   8   u16  header size         10  u16  version
//   12  u32  format (0 DOS order, 1 ProDOS order, 2 nibbles)
//   16  u32  flags               20  u32  ProDOS blocks
//   24  u32  data offset         28  u32  data length (0 from some creators: blocks x 512)
//
// NIB: 35 tracks one after another, each 6656 (or 6384) nibble bytes of one revolution.
//
// WOZ: 12-byte header ("WOZ1" or "WOZ2", FF 0A 0D 0A, u32 CRC32 of every byte after the
// header, 0 when absent), then chunks: u32 id, u32 size, data.
//   INFO  1  u8  disk type (1 = 5.25-inch)
//   TMAP  160 bytes: the TRKS entry of each quarter track, FF for none; track t is 4 t
//   TRKS  WOZ 1: 6656-byte entries: 0 bit stream (6646 bytes), 6646 u16 bytes used,
//                6648 u16 bit count
//         WOZ 2: 160 entries of 8 bytes: 0 u16 first 512-byte block of the bit stream
//                (from the start of the file), 2 u16 block count, 4 u32 bit count
//   Bit streams are stored most significant bit first.
//
// A track's nibbles hold 16 sectors of two fields each:
//   address field  D5 AA 96, volume, track, sector, checksum (each 4-and-4: two nibbles,
//                  value = ((first << 1) | 1) & second; checksum = volume ^ track ^ sector),
//                  DE AA
//   data field     D5 AA AD, 342 6-and-2 nibbles and a checksum nibble, DE AA
// The 342 values, each the XOR of its nibble's 6 bits with the value before, are 86 with
// the low two bits of bytes i, i + 86 and i + 172 (bits 1-0, 3-2, 5-4, each pair with its
// two bits exchanged), then the high six bits of bytes 0-255; the checksum nibble equals
// the last value. The sector number of the address field is the physical one; the DOS 3.3
// skew (physical_sector_of) gives its place in the image.
#include "apple2/disk_container.hpp"

#include <array>
#include <cstdio>
#include <cstring>
#include <new>

#include "apple2/prodos.hpp"
#include "bitmap/bytes.hpp"

namespace {

// 2MG header.
constexpr size_t img_header_bytes = 64;
constexpr size_t img_format = 12;         // u32
constexpr size_t img_blocks = 20;         // u32
constexpr size_t img_data_offset = 24;    // u32
constexpr size_t img_data_length = 28;    // u32
constexpr uint32_t img_format_dos = 0, img_format_prodos = 1, img_format_nibbles = 2;

// NIB.
constexpr size_t nib_track_bytes = 6656;
constexpr size_t nib_short_track_bytes = 6384;

// WOZ.
constexpr size_t woz_header_bytes = 12;
constexpr size_t woz_crc = 8;             // u32
constexpr size_t chunk_header_bytes = 8;  // u32 id, u32 size
constexpr size_t info_disk_type = 1;      // u8
constexpr uint8_t disk_type_5_25 = 1;
constexpr size_t tmap_entries = 160;
constexpr uint8_t tmap_none = 0xFF;
constexpr size_t woz1_track_bytes = 6656;
constexpr size_t woz1_bit_stream_bytes = 6646;
constexpr size_t woz1_bit_count = 6648;   // u16
constexpr size_t woz2_track_entry_bytes = 8;
constexpr size_t woz2_first_block = 0;    // u16
constexpr size_t woz2_block_count = 2;    // u16
constexpr size_t woz2_bit_count = 4;      // u32
constexpr size_t woz_block_bytes = 512;
constexpr size_t max_track_bits = size_t{1} << 20;  // a revolution holds about 51200

constexpr size_t max_container_bytes = 2 * max_image_bytes;
constexpr size_t disk_bytes = track_bytes * disk_tracks;

// Fields of a track.
constexpr uint8_t address_prolog[3] = {0xD5, 0xAA, 0x96};
constexpr uint8_t data_prolog[3] = {0xD5, 0xAA, 0xAD};
constexpr size_t address_field_values = 4;     // volume, track, sector, checksum
constexpr size_t data_gap_most = 64;           // nibbles from address field to data field
constexpr size_t aux_values = 86;
constexpr size_t data_values = aux_values + sector_bytes;  // 342, then the checksum

// The 64 nibbles of the 6-and-2 code, by the 6-bit value they carry.
constexpr uint8_t six_and_two_nibbles[64] = {
    0x96, 0x97, 0x9A, 0x9B, 0x9D, 0x9E, 0x9F, 0xA6, 0xA7, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB2, 0xB3,
    0xB4, 0xB5, 0xB6, 0xB7, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xCB, 0xCD, 0xCE, 0xCF, 0xD3,
    0xD6, 0xD7, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE5, 0xE6, 0xE7, 0xE9, 0xEA, 0xEB, 0xEC,
    0xED, 0xEE, 0xEF, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
constexpr uint8_t not_a_nibble = 0xFF;

constexpr std::array<uint8_t, 256> make_nibble_values()
{
    std::array<uint8_t, 256> values{};
    for (auto& v : values) v = not_a_nibble;
    for (uint8_t v = 0; v < 64; ++v) values[six_and_two_nibbles[v]] = v;
    return values;
}
constexpr std::array<uint8_t, 256> nibble_values = make_nibble_values();

constexpr std::array<uint8_t, sectors_per_track> make_index_of_physical()
{
    std::array<uint8_t, sectors_per_track> index{};
    for (uint8_t i = 0; i < sectors_per_track; ++i) index[physical_sector_of[i]] = i;
    return index;
}
constexpr std::array<uint8_t, sectors_per_track> index_of_physical = make_index_of_physical();

constexpr std::array<uint32_t, 256> make_crc_table()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> crc_table = make_crc_table();

uint32_t crc32_of(const uint8_t* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) c = crc_table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// The recognition table, tried in order; a raw image when none matches.
enum class container_kind { two_img, woz1, woz2, nib, raw };

struct container_probe {
    container_kind kind;
    const char* signature;   // null: recognised by the file size
    size_t signature_bytes;
    size_t size_a, size_b;   // file sizes, for a probe without a signature
};

constexpr size_t probe_bytes = 8;
constexpr container_probe container_probes[] = {
    {container_kind::two_img, "2IMG", 4, 0, 0},
    {container_kind::woz1, "WOZ1\xFF\n\r\n", 8, 0, 0},
    {container_kind::woz2, "WOZ2\xFF\n\r\n", 8, 0, 0},
    {container_kind::nib, nullptr, 0, nib_track_bytes * disk_tracks, nib_short_track_bytes * disk_tracks},
};

container_kind recognise(const uint8_t* head, size_t size)
{
    for (const container_probe& probe : container_probes) {
        const bool match = probe.signature ? std::memcmp(head, probe.signature, probe.signature_bytes) == 0
                                           : size == probe.size_a || size == probe.size_b;
        if (match) return probe.kind;
    }
    return container_kind::raw;
}

int damaged(const char* kind, const apple2_disk& disk)
{
    std::printf("error: damaged %s image '%s'\n", kind, disk.name);
    return -1;
}

// An empty decoded disk in order 2, every sector unreadable until it is found.
int start_decoded(apple2_disk& disk)
{
    try {
        disk.sectors.assign(disk_bytes, 0);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    disk.decoded = true;
    disk.order = sector_order_po;
    disk.unreadable.set();
    return 0;
}

bool has_field(const uint8_t* n, size_t at, size_t size, const uint8_t (&prolog)[3])
{
    return at + 3 <= size && n[at] == prolog[0] && n[at + 1] == prolog[1] && n[at + 2] == prolog[2];
}

// The 256 bytes of a data field's 343 nibbles; false on a foreign nibble or a bad checksum.
bool decode_data_field(const uint8_t* n, uint8_t* out)
{
    uint8_t values[data_values];
    uint8_t last = 0;
    for (size_t k = 0; k < data_values; ++k) {
        const uint8_t v = nibble_values[n[k]];
        if (v == not_a_nibble) return false;
        last = values[k] = static_cast<uint8_t>(v ^ last);
    }
    if (nibble_values[n[data_values]] != last) return false;  // the checksum
    for (size_t i = 0; i < sector_bytes; ++i) {
        const unsigned pair = (values[i % aux_values] >> (2 * (i / aux_values))) & 3;
        out[i] = static_cast<uint8_t>(values[aux_values + i] << 2 | (pair & 1) << 1 | pair >> 1);
    }
    return true;
}

// Places every sector found in `n` (nibbles of a track, more than one revolution so that
// a sector across the start is whole once) into track `track` of the disk.
void decode_track(const uint8_t* n, size_t size, size_t track, apple2_disk& disk)
{
    uint8_t* out = disk.sectors.data() + track_bytes * track;
    const size_t last = size < 3 + 2 * address_field_values ? 0 : size - 3 - 2 * address_field_values + 1;
    for (size_t i = 0; i < last; ++i) {
        // The scan skips to the next prolog's first nibble, so that sync runs cost little.
        const void* prolog = std::memchr(n + i, address_prolog[0], last - i);
        if (!prolog) break;
        i = static_cast<size_t>(static_cast<const uint8_t*>(prolog) - n);
        if (!has_field(n, i, size, address_prolog)) continue;
        uint8_t v[address_field_values];
        for (size_t k = 0; k < address_field_values; ++k)
            v[k] = static_cast<uint8_t>(((n[i + 3 + 2 * k] << 1) | 1) & n[i + 4 + 2 * k]);
        if ((v[0] ^ v[1] ^ v[2]) != v[3] || v[1] != track || v[2] >= sectors_per_track) continue;
        const size_t index = index_of_physical[v[2]];
        const size_t slot = track * sectors_per_track + index;
        if (!disk.unreadable.test(slot)) continue;  // already read
        const size_t after = i + 3 + 2 * address_field_values;
        for (size_t j = after; j < after + data_gap_most && !has_field(n, j, size, address_prolog); ++j) {
            if (!has_field(n, j, size, data_prolog)) continue;
            if (j + 3 + data_values + 1 <= size && decode_data_field(n + j + 3, out + sector_bytes * index))
                disk.unreadable.reset(slot);
            break;
        }
    }
}

int decode_nibble_tracks(const uint8_t* data, size_t size, apple2_disk& disk)
{
    const size_t per_track = size / disk_tracks;
    if (size % disk_tracks != 0 || (per_track != nib_track_bytes && per_track != nib_short_track_bytes))
        return damaged("NIB", disk);
    if (start_decoded(disk) < 0) return -1;
    std::vector<uint8_t> twice(2 * per_track);
    for (size_t t = 0; t < disk_tracks; ++t) {
        const uint8_t* track = data + per_track * t;
        std::memcpy(twice.data(), track, per_track);
        std::memcpy(twice.data() + per_track, track, per_track);
        decode_track(twice.data(), twice.size(), t, disk);
    }
    return 0;
}

// The nibbles of two revolutions of a bit stream: bits are shifted in until the top bit
// of the byte is set, as the drive's latch does.
void nibbles_of_bits(const uint8_t* bits, size_t bit_count, std::vector<uint8_t>& nibbles)
{
    nibbles.clear();
    unsigned latch = 0;
    for (size_t k = 0; k < 2 * bit_count; ++k) {
        const size_t b = k % bit_count;
        latch = (latch << 1) | ((bits[b / 8] >> (7 - b % 8)) & 1);
        if (latch & 0x80) {
            nibbles.push_back(static_cast<uint8_t>(latch));
            latch = 0;
        }
    }
}

struct woz_chunks {
    const uint8_t* info = nullptr;
    const uint8_t* tmap = nullptr;
    const uint8_t* trks = nullptr;
    size_t info_size = 0, tmap_size = 0, trks_size = 0;
};

bool find_chunks(const std::vector<uint8_t>& file, woz_chunks& chunks)
{
    for (size_t at = woz_header_bytes; at < file.size();) {
        if (file.size() - at < chunk_header_bytes) return false;
        const uint8_t* id = file.data() + at;
        const size_t size = get_u32_le(id + 4);
        at += chunk_header_bytes;
        if (size > file.size() - at) return false;
        const uint8_t* data = file.data() + at;
        if (std::memcmp(id, "INFO", 4) == 0) chunks.info = data, chunks.info_size = size;
        if (std::memcmp(id, "TMAP", 4) == 0) chunks.tmap = data, chunks.tmap_size = size;
        if (std::memcmp(id, "TRKS", 4) == 0) chunks.trks = data, chunks.trks_size = size;
        at += size;
    }
    return chunks.info && chunks.info_size > info_disk_type && chunks.info[info_disk_type] == disk_type_5_25 &&
           chunks.tmap && chunks.tmap_size >= tmap_entries && chunks.trks;
}

} // namespace

int decode_2mg(const std::vector<uint8_t>& file, apple2_disk& disk)
{
    if (file.size() < img_header_bytes) return damaged("2MG", disk);
    const uint8_t* h = file.data();
    const uint32_t format = get_u32_le(h + img_format);
    const size_t offset = get_u32_le(h + img_data_offset);
    size_t length = get_u32_le(h + img_data_length);
    if (length == 0 && format == img_format_prodos) length = size_t{get_u32_le(h + img_blocks)} * block_bytes;
    const bool known = format == img_format_dos || format == img_format_prodos || format == img_format_nibbles;
    if (!known || offset < img_header_bytes || offset > file.size() || length == 0 ||
        length > file.size() - offset)
        return damaged("2MG", disk);
    const uint8_t* data = file.data() + offset;
    if (format == img_format_nibbles) return decode_nibble_tracks(data, length, disk);
    try {
        disk.sectors.assign(data, data + length);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    disk.decoded = true;
    disk.unreadable.reset();
    disk.order = format == img_format_prodos ? sector_order_do : sector_order_po;
    return 0;
}

int decode_nib(const std::vector<uint8_t>& file, apple2_disk& disk)
{
    return decode_nibble_tracks(file.data(), file.size(), disk);
}

int decode_woz(const std::vector<uint8_t>& file, apple2_disk& disk)
{
    if (file.size() < woz_header_bytes) return damaged("WOZ", disk);
    const uint32_t crc = get_u32_le(file.data() + woz_crc);
    if (crc != 0 && crc != crc32_of(file.data() + woz_header_bytes, file.size() - woz_header_bytes)) {
        std::printf("error: CRC32 mismatch in '%s'\n", disk.name);
        return -1;
    }
    woz_chunks chunks;
    const bool version2 = file[3] == '2';
    if (!find_chunks(file, chunks) || (version2 && chunks.trks_size < tmap_entries * woz2_track_entry_bytes))
        return damaged("WOZ", disk);
    if (start_decoded(disk) < 0) return -1;
    std::vector<uint8_t> nibbles;
    for (size_t t = 0; t < disk_tracks; ++t) {
        const size_t entry = chunks.tmap[4 * t];
        if (entry == tmap_none) continue;  // no track: its sectors stay unreadable
        const uint8_t* bits = nullptr;
        size_t bit_count = 0, bit_bytes = 0;
        if (!version2) {
            if ((entry + 1) * woz1_track_bytes > chunks.trks_size) return damaged("WOZ", disk);
            bits = chunks.trks + woz1_track_bytes * entry;
            bit_count = get_u16_le(bits + woz1_bit_count);
            bit_bytes = woz1_bit_stream_bytes;
        } else {
            if (entry >= tmap_entries) return damaged("WOZ", disk);
            const uint8_t* e = chunks.trks + woz2_track_entry_bytes * entry;
            const size_t first = get_u16_le(e + woz2_first_block) * woz_block_bytes;
            bit_bytes = get_u16_le(e + woz2_block_count) * woz_block_bytes;
            bit_count = get_u32_le(e + woz2_bit_count);
            if (first > file.size() || bit_bytes > file.size() - first) return damaged("WOZ", disk);
            bits = file.data() + first;
        }
        if (bit_count > 8 * bit_bytes || bit_count > max_track_bits) return damaged("WOZ", disk);
        if (bit_count == 0) continue;
        nibbles_of_bits(bits, bit_count, nibbles);
        decode_track(nibbles.data(), nibbles.size(), t, disk);
    }
    return 0;
}

namespace {

// The order a raw image's name gives: ".po" order 1, ".do" order 2 (either letter case),
// otherwise `other`.
int order_of_name(const char* name, int other)
{
    const size_t n = std::strlen(name);
    if (n < 3 || name[n - 3] != '.') return other;
    const char a = static_cast<char>(name[n - 2] | 0x20), b = static_cast<char>(name[n - 1] | 0x20);
    if (a == 'p' && b == 'o') return sector_order_do;
    if (a == 'd' && b == 'o') return sector_order_po;
    return other;
}

// The order under which block 2 of a raw image is the volume directory's key block;
// order 2 when both or neither.
int order_of_program_disk(std::FILE* stream)
{
    int found = 0, passes = 0;
    for (int order : {sector_order_do, sector_order_po}) {
        uint8_t half[sector_bytes];
        const long offset = static_cast<long>(sector_bytes * sector_table_of(order)[2 * 2]);  // block 2, first half
        if (std::fseek(stream, offset, SEEK_SET) == 0 && std::fread(half, 1, sizeof half, stream) == sizeof half &&
            is_volume_key_block(half)) {
            found = order;
            ++passes;
        }
    }
    return passes == 1 ? found : sector_order_po;
}

int read_container(std::FILE* stream, size_t size, std::vector<uint8_t>& file)
{
    try {
        file.resize(size < max_container_bytes ? size : max_container_bytes);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    if (std::fseek(stream, 0, SEEK_SET) != 0 || std::fread(file.data(), 1, file.size(), stream) != file.size()) {
        file.clear();  // the file shrank: the readers will say so
        return 1;
    }
    return 0;
}

} // namespace

int open_apple2_disk(const char* name, disk_role role, int forced_order, int program_order, apple2_disk& disk)
{
    disk = apple2_disk();
    disk.name = name;
    disk.order = sector_order_po;
    std::FILE* stream = std::fopen(name, "rb");
    if (!stream) return 0;  // the readers print their own lines
    uint8_t head[probe_bytes];
    const bool whole_head = std::fread(head, 1, probe_bytes, stream) == probe_bytes;
    long end = -1;
    if (whole_head && std::fseek(stream, 0, SEEK_END) == 0) end = std::ftell(stream);
    const container_kind kind = end < 0 ? container_kind::raw : recognise(head, static_cast<size_t>(end));

    if (kind == container_kind::raw) {
        if (forced_order) disk.order = forced_order;
        else if (role == disk_role::program) disk.order = order_of_program_disk(stream);
        else disk.order = order_of_name(name, program_order);
        std::fclose(stream);
        return 0;
    }
    std::vector<uint8_t> file;
    int status = read_container(stream, static_cast<size_t>(end), file);
    std::fclose(stream);
    if (status != 0) return status < 0 ? -1 : 0;
    switch (kind) {
    case container_kind::two_img:
        status = decode_2mg(file, disk);
        // Only a sector image can be read in another order than its own.
        if (status == 0 && forced_order && get_u32_le(file.data() + img_format) != img_format_nibbles)
            disk.order = forced_order;
        break;
    case container_kind::nib: status = decode_nib(file, disk); break;
    default: status = decode_woz(file, disk); break;
    }
    if (status < 0) return -1;
    // A file system may use any sector: every one of the program disk must be there.
    if (role == disk_role::program && disk.unreadable.any()) {
        for (size_t slot = 0;; ++slot)
            if (disk.unreadable.test(slot))
                return check_sector_readable(disk, slot / sectors_per_track, slot % sectors_per_track);
    }
    return 0;
}
