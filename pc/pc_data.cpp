// Reading PC data files and the PC tile files, decoded or compressed.
#include "pc_data.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "lzw_decode.hpp"

namespace {

constexpr int tile_size = 16;                     // pixels across and down
constexpr int sheet_width = tile_size * sheet_columns;
constexpr size_t sheet_bytes = static_cast<size_t>(sheet_width) * tile_size * sheet_rows;  // 131072
constexpr size_t mirror_room_bytes = static_cast<size_t>(sheet_width) * tile_size * 20;    // tiles 0-319
constexpr int first_dot_tile = 488;                // tiles 488-491 get the random dots
constexpr int dot_threshold = 16382;               // a dot where the draw is above this

// The 16-colour palette, in BMP entry order (blue, green, red, 0).
constexpr palette_entry pc_palette[16] = {
    {0x00, 0x00, 0x00, 0}, {0xAA, 0x00, 0x00, 0}, {0x00, 0xAA, 0x00, 0}, {0xAA, 0xAA, 0x00, 0},
    {0x00, 0x00, 0xAA, 0}, {0xAA, 0x00, 0xAA, 0}, {0x00, 0x55, 0xAA, 0}, {0xAA, 0xAA, 0xAA, 0},
    {0x55, 0x55, 0x55, 0}, {0xFF, 0x55, 0x55, 0}, {0x55, 0xFF, 0x55, 0}, {0xFF, 0xFF, 0x55, 0},
    {0x55, 0x55, 0xFF, 0}, {0xFF, 0x55, 0xFF, 0}, {0x55, 0xFF, 0xFF, 0}, {0xFF, 0xFF, 0xFF, 0},
};

// Layout and colour tables of one tile file format. CGA tables act on the values 0-3
// before the expansion; their other entries are never used.
struct pc_tile_format {
    int bits_per_pixel;
    size_t file_bytes;
    uint8_t dot_colours[4];
    uint8_t dungeon[16];
    uint8_t mirror_room[16];
};

constexpr pc_tile_format cga_format = {
    2, 32768, {1, 2, 2, 1},
    {0, 2, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {0, 2, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
};
constexpr pc_tile_format ega_format = {
    4, 65536, {10, 13, 12, 9},
    {0, 1, 4, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {0, 5, 4, 4, 2, 1, 2, 7, 8, 12, 12, 12, 10, 9, 14, 15},
};
constexpr uint8_t cga_expansion[16] = {0, 3, 5, 7, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

uint8_t* tile_pixel(tile_sheet& sheet, int tile, int x, int y)
{
    return sheet.pixels.data() +
           static_cast<size_t>((tile / sheet_columns) * tile_size + y) * sheet_width + (tile % sheet_columns) * tile_size + x;
}

void map_pixels(uint8_t* pixels, size_t count, const uint8_t (&map)[16])
{
    for (size_t i = 0; i < count; ++i) pixels[i] = map[pixels[i] & 15];
}

// Decodes all 512 tiles of `file`, remaking the water tiles unless told not to. Stencil
// tiles and tile 3 are taken from the file as read.
void decode_tiles(tile_sheet& sheet, const uint8_t* file, int bits, bool no_water_remake)
{
    const int row_bytes = tile_size * bits / 8;
    const int tile_bytes = row_bytes * tile_size;
    const int per_byte = 8 / bits;
    const uint8_t field = static_cast<uint8_t>((1 << bits) - 1);
    const uint8_t* water = file + 3 * tile_bytes;
    for (int r = 0; r < sheet_rows; ++r) {
        for (int c = 0; c < sheet_columns; ++c) {
            const int tile = r * sheet_columns + c;
            int stencil = no_water_remake ? 0 : water_stencil_of(standard_tile_attributes, r, c);
            const bool inverted = stencil < 0;
            if (inverted) stencil = -stencil;
            const uint8_t* own = file + tile * tile_bytes;
            const uint8_t* shape = file + stencil * tile_bytes;
            for (int y = 0; y < tile_size; ++y) {
                uint8_t* dst = tile_pixel(sheet, tile, 0, y);
                for (int b = 0; b < row_bytes; ++b) {
                    const int i = y * row_bytes + b;
                    uint8_t byte = own[i];
                    if (stencil) {
                        const uint8_t m = zero_pixel_mask(shape[i], bits);
                        byte = inverted ? static_cast<uint8_t>((byte & ~m) | (water[i] & m))
                                        : static_cast<uint8_t>((byte & m) | (water[i] & ~m));
                    }
                    for (int k = per_byte - 1; k >= 0; --k) *dst++ = (byte >> (k * bits)) & field;
                }
            }
        }
    }
}

// data_path + '/' + name, or name alone without a data path. May throw std::bad_alloc.
std::string data_path_join(const char* data_path, const char* name)
{
    return data_path ? std::string(data_path) + '/' + name : std::string(name);
}

unsigned char ascii_lower(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

bool same_name_ignoring_case(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        if (ascii_lower(*a) != ascii_lower(*b)) return false;
        if (*a == 0) return true;
    }
}

// Looks in `directory` for the entries named `name` in any letter case. 1 with the name in
// `entry` when there is exactly one; 0 when there is none, more than one (no guessing), or
// the directory cannot be read; -1 when memory runs out.
int find_entry_ignoring_case(const char* directory, const char* name, std::string& entry)
{
    DIR* dir = opendir(directory);
    if (!dir) return 0;
    int matches = 0;
    int status = 0;
    while (const dirent* item = readdir(dir)) {
        if (!same_name_ignoring_case(item->d_name, name)) continue;
        if (++matches > 1) break;
        try {
            entry = item->d_name;
        } catch (const std::bad_alloc&) {
            status = -1;
            break;
        }
    }
    closedir(dir);
    if (status < 0) return -1;
    return matches == 1 ? 1 : 0;
}

// The largest size a compressed tile file of `decoded` bytes can have: every byte a literal
// after a reset, both at the widest code, then the end code.
constexpr size_t largest_compressed(size_t decoded) { return lzw_header_bytes + (decoded * 24 + 12 + 7) / 8; }

// Whether `head` (the first bytes of a file) begins a compressed tile file of the format
// whose decoded size is `decoded`: it states that size and its first code is a reset (9 bits:
// byte 4 zero, bit 0 of byte 5 set).
bool starts_compressed(const uint8_t* head, size_t size, size_t decoded)
{
    return size > lzw_header_bytes + 1 && lzw_stated_length(head, size) == decoded && head[lzw_header_bytes] == 0 &&
           (head[lzw_header_bytes + 1] & 1) != 0;
}

// Whether a file `length` bytes long (-1: unknown) that begins with `head` is a compressed
// tile file of `decoded` bytes: not the decoded size itself, no longer than it can compress
// to, and starting as such a file does.
bool holds_compressed(long long length, const uint8_t* head, size_t size, size_t decoded)
{
    return length >= 0 && length != static_cast<long long>(decoded) &&
           static_cast<unsigned long long>(length) < largest_compressed(decoded) && starts_compressed(head, size, decoded);
}

// Reads the tile file at `path` for `format` into `file`: a file of exactly the format's
// decoded size as it stands; a compressed file of that format whole, decoded; any other
// file up to the decoded size (a longer decoded file has a tail nobody reads). A CGA run
// given the EGA file is told so. Prints its line on failure; 0 or -1.
int read_tile_file(const char* path, const pc_tile_format& format, std::vector<uint8_t>& file)
{
    std::FILE* stream = std::fopen(path, "rb");
    if (!stream) {
        std::printf("error: open '%s'\n", path);
        return -1;
    }
    struct stat status;
    const long long length = ::fstat(::fileno(stream), &status) == 0 && S_ISREG(status.st_mode) ? status.st_size : -1;
    const size_t limit = largest_compressed(format.file_bytes);
    // The whole file when it may be compressed (no longer than the largest compressed one,
    // or of unknown size); else what the format needs.
    const bool may_be_compressed = length < 0 || (length != static_cast<long long>(format.file_bytes) &&
                                                  static_cast<unsigned long long>(length) <= limit);
    bool read_failed = false;
    try {
        file.resize(may_be_compressed ? limit : format.file_bytes);
        file.resize(std::fread(file.data(), 1, file.size(), stream));
        read_failed = std::ferror(stream) != 0;
    } catch (const std::bad_alloc&) {
        std::fclose(stream);
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    std::fclose(stream);
    if (read_failed) {
        std::printf("error: read '%s'\n", path);
        return -1;
    }
    // The file's length: known from the file system, or when it was read whole.
    const long long actual = length >= 0 ? length : file.size() < limit ? static_cast<long long>(file.size()) : -1;
    const bool compressed = holds_compressed(actual, file.data(), file.size(), format.file_bytes);
    if (&format == &cga_format && actual != static_cast<long long>(format.file_bytes) &&
        (actual == static_cast<long long>(ega_format.file_bytes) ||
         holds_compressed(actual, file.data(), file.size(), ega_format.file_bytes))) {
        std::printf("error: '%s' holds EGA tiles (use --ega)\n", path);
        return -1;
    }
    if (!compressed) {
        if (file.size() > format.file_bytes) file.resize(format.file_bytes);
        return 0;
    }

    std::vector<uint8_t> decoded;
    const int status_code = lzw_decode(file.data(), file.size(), format.file_bytes, decoded);
    if (status_code == lzw_memory_exhausted) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    if (status_code < 0) {
        std::printf("error: decode '%s'\n", path);
        return -1;
    }
    file.swap(decoded);
    return 0;
}

} // namespace

int open_data_file(const char* data_path, const char* name, std::string& path, std::FILE*& stream)
{
    stream = nullptr;
    try {
        path = data_path_join(data_path, name);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    stream = std::fopen(path.c_str(), "rb");
    if (!stream && errno == ENOENT) {
        // Copied off a DOS disk, the files may bear the same names in another case.
        std::string entry;
        int found = find_entry_ignoring_case(data_path ? data_path : ".", name, entry);
        if (found > 0) {
            try {
                path = data_path_join(data_path, entry.c_str());
            } catch (const std::bad_alloc&) {
                found = -1;
            }
        }
        if (found < 0) {
            std::printf("error: memory exhausted!\n");
            return -1;
        }
        if (found > 0) stream = std::fopen(path.c_str(), "rb");
    }
    return 0;
}

int read_data_file(const char* data_path, const char* name, uint8_t* buffer, size_t size)
{
    std::string path;
    std::FILE* stream = nullptr;
    if (open_data_file(data_path, name, path, stream) < 0) return -1;
    if (!stream) {
        std::printf("error: open '%s'\n", path.c_str());
        return -1;
    }
    const size_t read = std::fread(buffer, 1, size, stream);
    std::fclose(stream);
    if (read != size) {
        std::printf("error: read '%s' %d byte\n", path.c_str(), static_cast<int>(size));
        return -1;
    }
    return 0;
}

uint8_t zero_pixel_mask(uint8_t byte, int bits_per_pixel)
{
    const unsigned field = (1u << bits_per_pixel) - 1;
    unsigned mask = 0;
    for (int shift = 0; shift < 8; shift += bits_per_pixel)
        if (((byte >> shift) & field) == 0) mask |= field << shift;
    return static_cast<uint8_t>(mask);
}

int load_pc_tiles(const char* path, tile_sheet& sheet, shape_type type, bool cga, bool random_dots,
                  bool no_water_remake, rand15_state& random)
{
    const pc_tile_format& format = cga ? cga_format : ega_format;
    std::vector<uint8_t> file;
    if (make_edition_sheet(sheet, tile_size, tile_size, 4, pc_palette) < 0) return -1;
    if (read_tile_file(path, format, file) < 0) return -1;
    if (file.size() < format.file_bytes) {
        std::printf("error: read '%s'\n", path);
        return -1;
    }

    decode_tiles(sheet, file.data(), format.bits_per_pixel, no_water_remake);

    if (random_dots) {
        for (int y = 0; y < tile_size; ++y) {
            for (int x = 0; x < tile_size; ++x) {
                const bool dot = next_rand15(random) > dot_threshold;
                for (int k = 0; k < 4; ++k) *tile_pixel(sheet, first_dot_tile + k, x, y) = dot ? format.dot_colours[k] : 0;
            }
        }
    }
    if (type == shape_type::dungeon || type == shape_type::mirror_room) {
        for (int r = 0; r < sheet_rows; ++r)
            for (int c = 0; c < sheet_columns; ++c)
                if (is_recoloured_tile(standard_tile_attributes, r, c))
                    for (int y = 0; y < tile_size; ++y)
                        map_pixels(tile_pixel(sheet, r * sheet_columns + c, 0, y), tile_size, format.dungeon);
    }
    if (type == shape_type::mirror_room) map_pixels(sheet.pixels.data(), mirror_room_bytes, format.mirror_room);
    if (cga) map_pixels(sheet.pixels.data(), sheet.pixels.size(), cga_expansion);
    return 0;
}

int load_pc_tile_source(const tile_source_settings& settings, tile_sheet& sheet, rand15_state& random)
{
    if (settings.use_bitmaps) {
        if (read_shape_bitmap(settings.shape_bitmap, sheet, sheet_columns, sheet_rows) < 0) {
            std::printf("error: read shape bitmap '%s'\n", settings.shape_bitmap);
            return -1;
        }
        return 0;
    }
    if (!settings.tile_file) {
        std::printf("error: shape data file is not specified\n");
        return -1;
    }
    if (load_pc_tiles(settings.tile_file, sheet, settings.type, settings.cga, true, settings.no_remake_water, random) < 0) {
        std::printf("error: read shape data '%s'\n", settings.tile_file);
        return -1;
    }
    return 0;
}
