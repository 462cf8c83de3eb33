// The ProDOS reader: catalog, index blocks, path look-up and file copies. The layouts are
// sketched in prodos.hpp.
#include "apple2/prodos.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "bitmap/bytes.hpp"

namespace {

// Directory block.
constexpr size_t dir_previous = 0;          // u16
constexpr size_t dir_next = 2;              // u16
constexpr size_t dir_first_entry = 4;       // 13 entries of 39 bytes
constexpr size_t dir_entry_bytes = 39;
constexpr uint16_t volume_directory_block = 2;
// Entry fields (file entries and, where marked, headers).
constexpr size_t entry_type_and_length = 0;  // u8, both
constexpr size_t entry_name = 1;             // 15 bytes, both
constexpr size_t entry_file_type = 16;       // u8
constexpr size_t entry_key_pointer = 17;     // u16
constexpr size_t entry_blocks_used = 19;     // u16
constexpr size_t entry_eof = 21;             // u24
constexpr size_t entry_created = 24;         // date and time, both
constexpr size_t entry_version = 28;         // u8, both
constexpr size_t entry_min_version = 29;     // u8, both
constexpr size_t entry_access = 30;          // u8, both
constexpr size_t entry_aux_type = 31;        // u16
constexpr size_t entry_modified = 33;        // date and time
constexpr size_t entry_header_pointer = 37;  // u16
// Header fields.
constexpr size_t header_reserved = 16;            // 8 bytes
constexpr size_t header_entry_length = 31;        // u8
constexpr size_t header_entries_per_block = 32;   // u8
constexpr size_t header_file_count = 33;          // u16
constexpr size_t header_bit_map_pointer = 35;     // u16, volume
constexpr size_t header_total_blocks = 37;        // u16, volume
constexpr size_t header_parent_pointer = 35;      // u16, subdirectory
constexpr size_t header_parent_entry_number = 37; // u8, subdirectory
constexpr size_t header_parent_entry_length = 38; // u8, subdirectory
// Index blocks: low bytes of the block numbers at 0-255, high bytes at 256-511.
constexpr size_t index_high_bytes = 256;
constexpr size_t sapling_span = index_block_entries * block_bytes;  // bytes one index block addresses

prodos_date decode_date(const uint8_t* d)
{
    prodos_date date;
    date.year = d[1] >> 1u;
    date.month = (d[1] & 1u) * 8 + (d[0] >> 5u);
    date.day = d[0] & 31u;
    date.minute = d[2] & 63u;
    date.hour = d[3] & 31u;
    return date;
}

void decode_entry(const uint8_t* raw, dir_entry& entry, bool header, bool volume_header)
{
    entry.storage_type = static_cast<uint8_t>(raw[entry_type_and_length] >> 4);
    entry.name_length = raw[entry_type_and_length] & 15;
    std::memcpy(entry.name, raw + entry_name, sizeof entry.name);
    entry.created = decode_date(raw + entry_created);
    entry.version = raw[entry_version];
    entry.min_version = raw[entry_min_version];
    entry.access = raw[entry_access];
    if (!header) {
        file_fields file;
        file.file_type = raw[entry_file_type];
        file.key_pointer = get_u16_le(raw + entry_key_pointer);
        file.blocks_used = get_u16_le(raw + entry_blocks_used);
        file.eof = static_cast<uint32_t>(raw[entry_eof] | raw[entry_eof + 1] << 8 | raw[entry_eof + 2] << 16);
        file.aux_type = get_u16_le(raw + entry_aux_type);
        file.modified = decode_date(raw + entry_modified);
        file.header_pointer = get_u16_le(raw + entry_header_pointer);
        entry.fields = file;
        return;
    }
    header_fields fields;
    std::memcpy(fields.reserved, raw + header_reserved, sizeof fields.reserved);
    fields.entry_length = raw[header_entry_length];
    fields.entries_per_block = raw[header_entries_per_block];
    fields.file_count = get_u16_le(raw + header_file_count);
    if (volume_header) {
        fields.owner = volume_header_fields{get_u16_le(raw + header_bit_map_pointer), get_u16_le(raw + header_total_blocks)};
    } else {
        fields.owner = subdirectory_header_fields{get_u16_le(raw + header_parent_pointer), raw[header_parent_entry_number],
                                                  raw[header_parent_entry_length]};
    }
    entry.fields = fields;
}

uint16_t index_entry(const uint8_t* raw, size_t i)
{
    return static_cast<uint16_t>(raw[i] | raw[index_high_bytes + i] << 8);
}

// The entries of a chain that are files or subdirectories: all but the header.
size_t first_entry_of(const dir_block* block, const dir_block* chain) { return block == chain ? 1 : 0; }

int load_image(std::FILE* stream, const char* image_name, std::vector<uint8_t>& image)
{
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        std::printf("seek error '%s' (SEEK_END)\n", image_name);
        return -1;
    }
    const long end = std::ftell(stream);
    if (end < 0) {
        std::printf("seek error '%s' (SEEK_END)\n", image_name);
        return -1;
    }
    if (std::fseek(stream, 0, SEEK_SET) != 0) {
        std::printf("seek error '%s' (SEEK_SET)\n", image_name);
        return -1;
    }
    const size_t size = std::min(static_cast<size_t>(end), max_image_bytes);
    try {
        image.resize(size);
    } catch (const std::bad_alloc&) {
        std::printf("memory exhaust!\n");
        return -1;
    }
    if (size == 0 || std::fread(image.data(), size, 1, stream) != 1) {
        std::printf("read error '%s'\n", image_name);
        return -1;
    }
    return 0;
}

// A file copy under way: where the next byte goes and how many are still wanted.
struct file_copy {
    uint8_t* out;
    size_t remaining;
};

void put_zeros(file_copy& copy, size_t most)
{
    const size_t n = std::min(copy.remaining, most);
    if (n == 0) return;  // the destination may be null for a read of nothing
    std::memset(copy.out, 0, n);
    copy.out += n;
    copy.remaining -= n;
}

void put_bytes(file_copy& copy, const uint8_t* source, size_t most)
{
    const size_t n = std::min(copy.remaining, most);
    if (n == 0) return;
    std::memcpy(copy.out, source, n);
    copy.out += n;
    copy.remaining -= n;
}

bool copy_block(file_copy& copy, const block_ref& ref)
{
    if (ref.block == 0) {
        put_zeros(copy, block_bytes);
        return true;
    }
    if (!ref.first || !ref.second) return false;
    put_bytes(copy, ref.first, sector_bytes);
    put_bytes(copy, ref.second, sector_bytes);
    return true;
}

bool copy_index(file_copy& copy, const index_ref& ref)
{
    if (ref.block == 0) {
        put_zeros(copy, sapling_span);
        return true;
    }
    if (ref.blocks.empty()) return false;
    for (size_t i = 0; i < ref.blocks.size() && copy.remaining > 0; ++i)
        if (!copy_block(copy, ref.blocks[i])) return false;
    return true;
}

bool copy_master(file_copy& copy, const master_ref& ref)
{
    if (ref.indexes.empty()) return false;
    for (size_t i = 0; i < ref.indexes.size() && copy.remaining > 0; ++i)
        if (!copy_index(copy, ref.indexes[i])) return false;
    return true;
}

// The next path component after any run of "/", advancing `rest`; empty at the end.
std::string_view next_component(std::string_view& rest)
{
    const size_t start = rest.find_first_not_of('/');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const size_t end = std::min(rest.find('/'), rest.size());
    const std::string_view component = rest.substr(0, end);
    rest.remove_prefix(end);
    return component;
}

bool has_name(const dir_entry& entry, std::string_view name)
{
    return entry.name_length == name.size() && std::memcmp(entry.name, name.data(), name.size()) == 0;
}

int as_int(size_t n) { return static_cast<int>(n); }

} // namespace

dir_block::~dir_block()
{
    std::unique_ptr<dir_block> rest = std::move(next);
    while (rest) rest = std::move(rest->next);
}

bool is_volume_key_block(const uint8_t* block)
{
    return get_u16_le(block + dir_previous) == 0 &&
           block[dir_first_entry + entry_type_and_length] >> 4 == storage_volume_header &&
           block[dir_first_entry + header_entry_length] == dir_entry_bytes &&
           block[dir_first_entry + header_entries_per_block] == dir_entries_per_block;
}

int open_volume(prodos_volume& volume, const char* image_name, int order)
{
    apple2_disk disk;
    disk.name = image_name;
    disk.order = order;
    return open_volume(volume, disk);
}

int open_volume(prodos_volume& volume, const apple2_disk& disk)
{
    // A volume opened again keeps its image buffer: a reader of many disks allocates it once.
    std::vector<uint8_t> buffer = std::move(volume.image);
    close_volume(volume);
    volume.image = std::move(buffer);
    volume.image.clear();
    const char* image_name = disk.name;
    if (disk.decoded) {
        // A decoded container: its sectors are the image.
        if (disk.sectors.empty()) {
            std::printf("read error '%s'\n", image_name);
            return -1;
        }
        try {
            volume.image.assign(disk.sectors.begin(), disk.sectors.begin() + static_cast<std::ptrdiff_t>(
                                                          std::min(disk.sectors.size(), max_image_bytes)));
        } catch (const std::bad_alloc&) {
            std::printf("memory exhaust!\n");
            return -1;
        }
    } else {
        std::FILE* stream = std::fopen(image_name, "rb");
        if (!stream) {
            std::printf("open error '%s'\n", image_name);
            return -1;
        }
        const int loaded = load_image(stream, image_name, volume.image);
        std::fclose(stream);
        if (loaded < 0) return -1;
    }
    volume.sector_table = sector_table_of(disk.order);
    volume.limits.index_blocks_left = volume.image.size() / block_bytes;

    volume.directory = read_directory(volume, volume_directory_block, 0);
    if (!volume.directory) {
        std::printf("can't get dir block $%04X\n", static_cast<unsigned>(volume_directory_block));
        std::printf("can't get catalog '%s'\n", image_name);
        return -1;
    }
    const header_fields* header = header_of(volume.directory->entries[0]);
    const auto* owner = header ? std::get_if<volume_header_fields>(&header->owner) : nullptr;
    if (read_block(volume, owner ? owner->bit_map_pointer : 0, volume.bit_map.data()) < 0)
        std::printf("can't get bit map '%s'\n", image_name);
    if (resolve_blocks(volume, volume.directory.get()) < 0) std::printf("can't get block no '%s'\n", image_name);
    return 0;
}

void close_volume(prodos_volume& volume)
{
    free_directory(volume.directory);
    volume.image = std::vector<uint8_t>();
    volume.sector_table = nullptr;
    volume.bit_map.fill(0);
    volume.limits = catalog_limits();
}

void close_volume(std::unique_ptr<prodos_volume>& volume)
{
    if (volume) close_volume(*volume);
    volume.reset();
}

std::unique_ptr<dir_block> read_directory(prodos_volume& volume, uint16_t first_block, int depth)
{
    std::unique_ptr<dir_block> chain;  // freed on every way out but the last
    dir_block* last = nullptr;
    uint8_t raw[block_bytes];
    for (uint16_t block = first_block; block != 0;) {
        // A block read before (a cycle) and a directory nested too deep count as unreadable.
        const bool refused = depth > max_directory_depth || volume.limits.directory_blocks_read.test(block);
        if (refused || read_block(volume, block, raw) < 0) {
            std::printf("can't get dir block $%04X\n", static_cast<unsigned>(block));
            return nullptr;
        }
        volume.limits.directory_blocks_read.set(block);
        std::unique_ptr<dir_block> fresh;
        try {
            fresh = std::make_unique<dir_block>();
            fresh->entries.resize(dir_entries_per_block);
        } catch (const std::bad_alloc&) {
            std::printf("memory exhaust!\n");
            return nullptr;
        }
        dir_block* here = fresh.get();
        (last ? last->next : chain) = std::move(fresh);
        last = here;
        here->previous_block = get_u16_le(raw + dir_previous);
        here->next_block = get_u16_le(raw + dir_next);

        for (size_t k = 0; k < dir_entries_per_block; ++k) {
            dir_entry& entry = here->entries[k];
            const bool header = here == chain.get() && k == 0;
            decode_entry(raw + dir_first_entry + dir_entry_bytes * k, entry, header, header && depth == 0);
            if (header || entry.storage_type != storage_subdirectory) continue;
            const uint16_t key = file_of(entry)->key_pointer;
            std::unique_ptr<dir_block> subdirectory = read_directory(volume, key, depth + 1);
            if (!subdirectory) std::printf("can't get dir block $%04X\n", static_cast<unsigned>(key));
            entry.link = std::move(subdirectory);
        }
        block = here->next_block;
    }
    return chain;
}

int resolve_blocks(prodos_volume& volume, dir_block* directory)
{
    int failed = 0;
    for (dir_block* block = directory; block; block = block->next.get()) {
        for (size_t k = first_entry_of(block, directory); k < block->entries.size(); ++k) {
            dir_entry& entry = block->entries[k];
            const int length = entry.name_length;
            const file_fields* file = file_of(entry);
            if (!file) continue;
            const unsigned key = file->key_pointer;
            int status = 0;
            switch (entry.storage_type) {
            case storage_subdirectory: {
                auto* subdirectory = std::get_if<std::unique_ptr<dir_block>>(&entry.link);
                if (!subdirectory || !*subdirectory) break;
                status = resolve_blocks(volume, subdirectory->get());
                if (status < 0) return -1;
                failed += status;
                break;
            }
            case storage_seedling: {
                block_ref& ref = entry.link.emplace<block_ref>();
                ref.block = file->key_pointer;
                if (map_block(volume, ref) < 0) {
                    std::printf("can't get data pointer $%04X '%.*s'\n", key, length, entry.name);
                    ++failed;
                }
                break;
            }
            case storage_sapling: {
                index_ref& ref = entry.link.emplace<index_ref>();
                ref.block = file->key_pointer;
                status = read_index_block(volume, ref);
                if (status == -2) return -1;
                if (status < 0) {
                    std::printf("can't get index block $%04X '%.*s'\n", key, length, entry.name);
                    ++failed;
                }
                break;
            }
            case storage_tree: {
                master_ref& ref = entry.link.emplace<master_ref>();
                ref.block = file->key_pointer;
                status = read_master_index_block(volume, ref);
                if (status == -2) return -1;
                if (status < 0) {
                    std::printf("can't get master index block $%04X '%.*s'\n", key, length, entry.name);
                    ++failed;
                }
                break;
            }
            default:
                break;
            }
        }
    }
    return failed;
}

namespace {

// Reads index block `block` into `raw` unless the volume has used up its index blocks.
int read_index_raw(prodos_volume& volume, uint16_t block, uint8_t* raw)
{
    if (volume.limits.index_blocks_left == 0 || read_block(volume, block, raw) < 0) {
        std::printf("can't get index block $%04X\n", static_cast<unsigned>(block));
        return -1;
    }
    --volume.limits.index_blocks_left;
    return 0;
}

} // namespace

int read_index_block(prodos_volume& volume, index_ref& ref)
{
    ref.blocks.clear();
    if (ref.block == 0) return 0;
    std::vector<block_ref> blocks;
    try {
        blocks.resize(index_block_entries);
    } catch (const std::bad_alloc&) {
        std::printf("memory exhaust!\n");
        return -2;
    }
    uint8_t raw[block_bytes];
    if (read_index_raw(volume, ref.block, raw) < 0) return -1;  // the array stays absent
    ref.blocks = std::move(blocks);
    int count = 0;
    for (size_t i = 0; i < index_block_entries; ++i) {
        block_ref& data = ref.blocks[i];
        data.block = index_entry(raw, i);
        if (data.block == 0) continue;
        if (map_block(volume, data) < 0) return -1;
        ++count;
    }
    return count;
}

int read_master_index_block(prodos_volume& volume, master_ref& ref)
{
    ref.indexes.clear();
    if (ref.block == 0) return 0;
    std::vector<index_ref> indexes;
    try {
        indexes.resize(master_index_entries);
    } catch (const std::bad_alloc&) {
        std::printf("memory exhaust!\n");
        return -2;
    }
    uint8_t raw[block_bytes];
    if (read_index_raw(volume, ref.block, raw) < 0) return -1;
    ref.indexes = std::move(indexes);
    int count = 0;
    for (size_t i = 0; i < master_index_entries; ++i) {
        index_ref& index = ref.indexes[i];
        index.block = index_entry(raw, i);
        if (index.block == 0) continue;
        const int status = read_index_block(volume, index);
        if (status < 0) return status;
        ++count;
    }
    return count;
}

const dir_entry* find_entry(const dir_block* directory, std::string_view name)
{
    for (const dir_block* block = directory; block; block = block->next.get()) {
        // The header is never a file, whatever its storage type says.
        for (size_t k = first_entry_of(block, directory); k < block->entries.size(); ++k) {
            const dir_entry& entry = block->entries[k];
            const bool listed = entry.storage_type == storage_seedling || entry.storage_type == storage_sapling ||
                                entry.storage_type == storage_tree || entry.storage_type == storage_subdirectory;
            if (listed && has_name(entry, name)) return &entry;
        }
    }
    return nullptr;
}

void free_directory(std::unique_ptr<dir_block>& directory)
{
    directory.reset();
}

const dir_entry* find_file(const prodos_volume& volume, const char* path)
{
    std::string_view rest = path;
    std::string_view component = next_component(rest);
    if (component.empty()) {
        std::printf("file name error '%s'\n", path);
        return nullptr;
    }
    if (path[0] == '/') {
        // The first component names the volume.
        if (!volume.directory || !has_name(volume.directory->entries[0], component)) {
            std::printf("can't find volume name '%.*s'\n", as_int(component.size()), component.data());
            return nullptr;
        }
        component = next_component(rest);
        if (component.empty()) {
            std::printf("file name error '%s'\n", path);
            return nullptr;
        }
    }
    const dir_block* directory = volume.directory.get();
    for (;;) {
        const dir_entry* entry = find_entry(directory, component);
        if (!entry) return nullptr;
        component = next_component(rest);
        if (component.empty()) {
            if (entry->storage_type >= storage_seedling && entry->storage_type <= storage_tree) return entry;
            std::printf("strage type mismatch '%s' $%X\n", path, static_cast<unsigned>(entry->storage_type));
            return nullptr;
        }
        directory = entry->storage_type == storage_subdirectory ? subdirectory_of(*entry) : nullptr;
        if (!directory) return nullptr;
    }
}

int read_file(const prodos_volume& volume, const char* path, uint8_t* destination, size_t size)
{
    const dir_entry* entry = find_file(volume, path);
    if (!entry) {
        std::printf("can't find file '%s'\n", path);
        return -1;
    }
    const uint32_t eof = file_of(*entry)->eof;
    if (eof != size)
        std::printf("file size mismatch '%s' size=$%X != $%X\n", path, static_cast<unsigned>(eof),
                    static_cast<unsigned>(size));
    file_copy copy = {destination, std::min(static_cast<size_t>(eof), size)};
    bool copied = false;
    const char* kind = "seeding";
    // A reference that open_volume could not set up is absent, and the copy fails.
    switch (entry->storage_type) {
    case storage_seedling: {
        const auto* ref = std::get_if<block_ref>(&entry->link);
        copied = ref && copy_block(copy, *ref);
        break;
    }
    case storage_sapling: {
        const auto* ref = std::get_if<index_ref>(&entry->link);
        copied = ref && copy_index(copy, *ref);
        kind = "sapling";
        break;
    }
    default: {
        const auto* ref = std::get_if<master_ref>(&entry->link);
        copied = ref && copy_master(copy, *ref);
        kind = "tree";
        break;
    }
    }
    if (!copied || copy.remaining > 0) {
        std::printf("can't get file data '%s' (%s file)\n", path, kind);
        return -1;
    }
    return 0;
}
