// Block access to an image in memory, and the raw settlement tracks.
//
// Kind sector of location L (position 2L from track 30), 32 columns of one byte per NPC i,
// into the location's 768-byte block B:
//   s[i]        B[512 + i]       NPC kind
//   s[32 + i]   B[576 + 5i]      default kind
//   s[64 + i]   B[576 + 5i + 1]  default x
//   s[96 + i]   B[576 + 5i + 2]  default y
//   s[128 + i]  B[576 + 5i + 3]  default level code
//   s[160 + i]  B[576 + 5i + 4]  default fifth byte
//   s[192 + i]  B[736 + i]
//   s[224 + i]  B[544 + i]
// Schedule sector (position 2L + 1), for NPC i and schedule entry e (0-2) of its record at
// B[16 i]:
//   s[i]            window 0 start H[bits 7-4], end H[bits 3-0]
//   s[32 + i]       window 1 start H[bits 7-4], end H[bits 3-0]
//   s[64 + 32e + i]   slot code (bits 7-5), x (bits 4-0)
//   s[160 + 32e + i]  level code (bits 7-5, 7 = basement 255), y (bits 4-0)
#include "apple2/disk_image.hpp"

#include <cstdio>
#include <cstring>

#include "apple2/prodos.hpp"
#include "settlement/settlement_data.hpp"

namespace {

constexpr int npc_first_track = 30;
constexpr int map_first_track = 31;

// Kind sector columns.
constexpr size_t kind_column_kind = 0;
constexpr size_t kind_column_defaults = 32;   // five columns: kind, x, y, level, fifth byte
constexpr size_t kind_column_unread = 192;
constexpr size_t kind_column_extra = 224;
// Schedule sector columns.
constexpr size_t schedule_window0 = 0;
constexpr size_t schedule_window1 = 32;
constexpr size_t schedule_slot_x = 64;        // 32 per schedule entry
constexpr size_t schedule_level_y = 160;      // 32 per schedule entry
// Block layout (see settlement_data.hpp).
constexpr size_t block_defaults = 576;        // five bytes per NPC
constexpr size_t block_unread = 736;
constexpr size_t block_extra = 544;
constexpr size_t record_bytes = 16;
constexpr size_t record_slot_code = 0, record_x = 3, record_y = 6, record_level = 9, record_windows = 12;

// Hour of a 4-bit schedule code.
constexpr uint8_t code_hours[16] = {0, 1, 3, 5, 6, 7, 9, 11, 12, 13, 15, 17, 18, 19, 21, 23};
constexpr uint8_t basement_code = 7;

// Byte offset of position `position` of track `track`.
size_t sector_offset(const uint8_t* table, size_t track, int position)
{
    return track_bytes * track + sector_bytes * table[position];
}

// Offset of half `half` (0, 1) of block `block`; false when it does not fit in `size`.
bool half_offset(const uint8_t* table, uint16_t block, int half, size_t size, size_t& offset)
{
    if (!table) return false;  // a closed volume
    offset = sector_offset(table, block / blocks_per_track, 2 * (block % blocks_per_track) + half);
    return offset + sector_bytes <= size;
}

// Sequential sector reads from one image file: order 1 seeks once and reads on, other
// orders seek before every sector. A decoded disk is read from memory instead.
struct sector_reader {
    std::FILE* stream;  // null for a decoded disk
    const apple2_disk* disk;
    const uint8_t* table;
    bool sequential;
};

int start_reading(sector_reader& reader, size_t first_track)
{
    if (reader.stream && reader.sequential &&
        std::fseek(reader.stream, static_cast<long>(track_bytes * first_track), SEEK_SET) != 0) {
        std::printf("error: seek '%s'\n", reader.disk->name);
        return -1;
    }
    return 0;
}

// Reads `count` bytes (at most a sector) of position `index` mod 16 of track
// first_track + index / 16.
int read_sector(sector_reader& reader, size_t first_track, size_t index, uint8_t* buffer, size_t count)
{
    const size_t track = first_track + index / sectors_per_track;
    const int position = static_cast<int>(index % sectors_per_track);
    const size_t offset = sector_offset(reader.table, track, position);
    const apple2_disk& disk = *reader.disk;
    if (!reader.stream) {
        if (track < disk_tracks && check_sector_readable(disk, track, reader.table[position]) < 0) return -1;
        if (offset + count > disk.sectors.size()) {
            std::printf("error: read '%s'\n", disk.name);
            return -1;
        }
        std::memcpy(buffer, disk.sectors.data() + offset, count);
        return 0;
    }
    if (!reader.sequential && std::fseek(reader.stream, static_cast<long>(offset), SEEK_SET) != 0) {
        std::printf("error: seek '%s'\n", disk.name);
        return -1;
    }
    if (std::fread(buffer, 1, count, reader.stream) != count) {
        std::printf("error: read '%s'\n", disk.name);
        return -1;
    }
    return 0;
}

int open_reader(sector_reader& reader, const apple2_disk& disk)
{
    reader = {nullptr, &disk, sector_table_of(disk.order), disk.order == sector_order_do};
    if (disk.decoded) return 0;
    reader.stream = std::fopen(disk.name, "rb");
    if (!reader.stream) {
        std::printf("error: open '%s'\n", disk.name);
        return -1;
    }
    return 0;
}

void close_reader(sector_reader& reader)
{
    if (reader.stream) std::fclose(reader.stream);
}

apple2_disk raw_disk(const char* image_name, int order)
{
    apple2_disk disk;
    disk.name = image_name;
    disk.order = order;
    return disk;
}

void unpack_kind_sector(const uint8_t* s, uint8_t* block)
{
    for (size_t i = 0; i < npcs_per_location; ++i) {
        block[npc_kind_offset + i] = s[kind_column_kind + i];
        for (size_t f = 0; f < 5; ++f) block[block_defaults + 5 * i + f] = s[kind_column_defaults + 32 * f + i];
        block[block_unread + i] = s[kind_column_unread + i];
        block[block_extra + i] = s[kind_column_extra + i];
    }
}

void unpack_schedule_sector(const uint8_t* s, uint8_t* block)
{
    for (size_t i = 0; i < npcs_per_location; ++i) {
        uint8_t* record = block + record_bytes * i;
        for (size_t e = 0; e < 3; ++e) {
            const uint8_t slot_x = s[schedule_slot_x + 32 * e + i];
            const uint8_t level_y = s[schedule_level_y + 32 * e + i];
            const uint8_t level = static_cast<uint8_t>(level_y >> 5);
            record[record_slot_code + e] = static_cast<uint8_t>(slot_x >> 5);
            record[record_x + e] = slot_x & 31;
            record[record_y + e] = level_y & 31;
            record[record_level + e] = level == basement_code ? basement_level : level;
        }
        const uint8_t w0 = s[schedule_window0 + i], w1 = s[schedule_window1 + i];
        record[record_windows + 0] = code_hours[w0 >> 4];
        record[record_windows + 1] = code_hours[w0 & 15];
        record[record_windows + 2] = code_hours[w1 >> 4];
        record[record_windows + 3] = code_hours[w1 & 15];
    }
}

} // namespace

const uint8_t* sector_table_of(int order)
{
    return order == sector_order_do ? identity_sector_table : interleave_sector_table;
}

int read_block(const prodos_volume& volume, uint16_t block, uint8_t* buffer)
{
    for (int half = 0; half < 2; ++half) {
        size_t offset = 0;
        if (!half_offset(volume.sector_table, block, half, volume.image.size(), offset)) {
            std::printf("illegal block no $%04X\n", static_cast<unsigned>(block));
            return -1;
        }
        std::memcpy(buffer + sector_bytes * half, volume.image.data() + offset, sector_bytes);
    }
    return 0;
}

int map_block(const prodos_volume& volume, block_ref& ref)
{
    ref.first = ref.second = nullptr;
    if (ref.block == 0) return 0;
    for (int half = 0; half < 2; ++half) {
        size_t offset = 0;
        if (!half_offset(volume.sector_table, ref.block, half, volume.image.size(), offset)) {
            std::printf("illegal block no $%04X\n", static_cast<unsigned>(ref.block));
            return -1;
        }
        (half == 0 ? ref.first : ref.second) = volume.image.data() + offset;
    }
    return 1;
}

int check_sector_readable(const apple2_disk& disk, size_t track, size_t index)
{
    if (!disk.unreadable.test(track * sectors_per_track + index)) return 0;
    std::printf("error: track %d sector %d unreadable in '%s'\n", static_cast<int>(track),
                static_cast<int>(physical_sector_of[index]), disk.name);
    return -1;
}

int read_map_tracks(const char* image_name, uint8_t* destination, size_t count, int order)
{
    return read_map_tracks(raw_disk(image_name, order), destination, count);
}

int read_map_tracks(const apple2_disk& disk, uint8_t* destination, size_t count)
{
    sector_reader reader;
    if (open_reader(reader, disk) < 0) return -1;
    int status = start_reading(reader, map_first_track);
    uint8_t sector[sector_bytes];
    for (size_t index = 0, remaining = count; status == 0 && remaining > 0; ++index) {
        const size_t n = remaining < sector_bytes ? remaining : sector_bytes;
        status = read_sector(reader, map_first_track, index, sector, n);
        if (status < 0) break;
        remaining -= n;
        // Four positions make a level; position mod 4 picks the 16 x 16 quarter.
        const size_t p = index % sectors_per_track;
        const size_t quarter = level_bytes * (4 * (index / sectors_per_track) + p / 4) + 512 * ((p % 4) / 2) + 16 * (p % 2);
        for (size_t j = 0; j < n; ++j) {
            const size_t place = quarter + 32 * (j / 16) + j % 16;
            if (place < count) destination[place] = sector[j];
        }
    }
    close_reader(reader);
    return status;
}

int read_npc_track(const char* image_name, uint8_t* destination, int locations, int order)
{
    return read_npc_track(raw_disk(image_name, order), destination, locations);
}

int read_npc_track(const apple2_disk& disk, uint8_t* destination, int locations)
{
    sector_reader reader;
    if (open_reader(reader, disk) < 0) return -1;
    int status = start_reading(reader, npc_first_track);
    uint8_t kinds[sector_bytes], schedules[sector_bytes];
    for (size_t location = 0; status == 0 && static_cast<int64_t>(location) < locations; ++location) {
        status = read_sector(reader, npc_first_track, 2 * location, kinds, sector_bytes);
        if (status == 0) status = read_sector(reader, npc_first_track, 2 * location + 1, schedules, sector_bytes);
        if (status < 0) break;
        uint8_t* block = destination + apple2_npc_block_bytes * location;
        unpack_kind_sector(kinds, block);
        unpack_schedule_sector(schedules, block);
    }
    close_reader(reader);
    return status;
}
