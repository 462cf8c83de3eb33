// The 16-colour rendering (with and without blur) and the colour-television rendering.
//
// The 16 colours are worked out byte by byte over whole rows from the lit dots and their
// colour bits. The television walks a row with a window of the five dots x-2 .. x+2 (bit k
// = dot x-2+k) and looks its hue and colours up by phase in tables made once per call (the
// hues that occur are few, so no sine or cosine is computed per pixel).
//
// Television, per column x of phase (start + x) mod 4: pattern a = or of M[(phase + k + 2)
// mod 4] over the lit dots x+k, k = -2..1, pattern b the same over k = -1..2; luma
// (L[a] + L[b]) / 2, hue the average of the two patterns' hues; saturation (n + 6) / 18
// with n the equal hues among the six on each side (0 for no hue); unlit dots take luma
// times saturation; then I and Q from 0.7 x saturation and the hue turned by 10 degrees.
#include "apple2/hires_colour.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr size_t marker_spacing = 14;          // markers only at multiples of 14
constexpr uint8_t marker = 255;
constexpr uint8_t column_bits[4] = {4, 8, 1, 2};  // P, by column mod 4
constexpr uint8_t phase_bits[4] = {1, 2, 4, 8};   // M, by phase
constexpr size_t window_patterns = 32;

// Luma and hue of a 4-bit pattern.
constexpr double pattern_luma[16] = {0, 0.25, 0.25, 0.5, 0.25, 0.5, 0.5, 0.75, 0.25, 0.5, 0.5, 0.75, 0.5, 0.75, 0.75, 1.0};
constexpr double pattern_hue[16] = {no_hue, 45, 315, 0, 225, no_hue, 270, 315, 135, 90, no_hue, 45, 180, 135, 225, no_hue};

constexpr double pi = 3.141592653589793;
constexpr double i_scale = 0.595716, q_scale = 0.522591;
constexpr double saturation_fade = 0.7;
constexpr double hue_turn = 10;
constexpr int hue_walk = 6;                    // hues compared on each side
constexpr size_t id_room = 8;                  // hue ids kept on each side of a row
constexpr size_t narrowest_joined = 10;



// The television rendering by key = phase * 32 + five-dot window. A hue is kept as a small
// id of its exact value (the walk that counts equal hues compares exact values, so equal
// ids mean equal hues); the colour of a pixel depends only on its key, its count of equal
// neighbours (0-12, or no hue) and its own dot, so all colours are worked out once per call.
constexpr size_t tv_keys = 4 * window_patterns;
constexpr size_t no_hue_state = 2 * hue_walk + 1;  // saturation states 0-12 counts, 13 no hue
constexpr uint8_t no_hue_id = 255;

struct tv_tables {
    uint8_t hue_id[tv_keys];
    uint8_t zero_id;  // the id of hue 0, which the margins and replaced no-hues hold
    uint8_t colour[tv_keys][no_hue_state + 1][2][3];  // blue, green, red by key, state, dot lit
};

// The or of M[(phase + i) mod 4] over the set bits i (0-3) of `dots`.
unsigned phase_pattern(unsigned phase, unsigned dots)
{
    unsigned pattern = 0;
    for (unsigned i = 0; i < 4; ++i)
        if ((dots >> i) & 1) pattern |= phase_bits[(phase + i) & 3];
    return pattern;
}

uint8_t channel(double value)
{
    const int v = static_cast<int>(value);  // toward zero
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

void make_tv_tables(tv_tables& tables)
{
    double hues[tv_keys + 1];
    size_t distinct = 0;
    hues[distinct++] = 0.0;
    tables.zero_id = 0;
    for (size_t key = 0; key < tv_keys; ++key) {
        const unsigned phase = static_cast<unsigned>(key / window_patterns);
        const unsigned window = static_cast<unsigned>(key % window_patterns);
        const unsigned a = phase_pattern(phase, window & 15);  // dots x-2 .. x+1
        const unsigned b = phase_pattern(phase + 1, window >> 1);  // dots x-1 .. x+2
        const double luma = (pattern_luma[a] + pattern_luma[b]) / 2;
        const double hue = average_hue(static_cast<int>(a), static_cast<int>(b));
        const bool none = is_no_hue(hue);
        size_t id = 0;
        while (id < distinct && hues[id] != hue) ++id;
        if (!none && id == distinct) hues[distinct++] = hue;
        tables.hue_id[key] = none ? no_hue_id : static_cast<uint8_t>(id);

        // The hue the colour step uses: none taken as 0, turned by 10 degrees.
        double turned = (none ? 0.0 : hue) + hue_turn;
        if (turned > 360) turned -= 360;
        const double sine = std::sin(turned * pi / 180), cosine = std::cos(turned * pi / 180);
        for (size_t state = 0; state <= no_hue_state; ++state) {
            const double saturation = state == no_hue_state ? 0.0 : static_cast<double>(state + 6) / 18.0;
            for (int lit = 0; lit < 2; ++lit) {
                uint8_t* bgr = tables.colour[key][state][lit];
                bgr[0] = bgr[1] = bgr[2] = 0;
                double y = luma;
                if (y == 0) continue;  // black
                if (!lit) y = y * saturation;
                const double s = saturation * saturation_fade;
                const double i = i_scale * s * sine;
                const double q = q_scale * s * cosine;
                bgr[0] = channel((y - 1.107 * i + 1.7046 * q) * 255);
                bgr[1] = channel((y - 0.2721 * i - 0.6474 * q) * 255);
                bgr[2] = channel((y + 0.9563 * i + 0.621 * q) * 255);
            }
        }
    }
}

// What a marker at column 0 becomes: the row's last pixel (as it stands, since column 0 is
// resolved first) with join-ends, else 0.
uint8_t first_marker_value(const uint8_t* row, size_t width, bool join_ends) { return join_ends ? row[width - 1] : 0; }

// At columns that are multiples of 14 a marker takes the value of the pixel to its left;
// at column 0 see first_marker_value.
void resolve_markers(uint8_t* row, size_t width, bool join_ends)
{
    if (row[0] == marker) row[0] = first_marker_value(row, width, join_ends);
    // Without a branch (whether a byte has a marker follows no pattern): `is_marker` is 1 for
    // the marker 255 and 0 for any other pixel.
    for (size_t x = marker_spacing; x < width; x += marker_spacing) {
        const unsigned pixel = row[x];
        const unsigned is_marker = (pixel + 1) >> 8;
        row[x] = static_cast<uint8_t>(pixel - is_marker * (pixel - row[x - 1]));
    }
}

// The column that dot j of a row stands for, j up to two columns beyond either end: beyond
// them the column at the other end with join-ends, else -1 (an unlit dot).
long dot_column(size_t width, long j, bool join_ends)
{
    const long w = static_cast<long>(width);
    if (j >= 0 && j < w) return j;
    if (!join_ends) return -1;
    j %= w;
    return j < 0 ? j + w : j;
}

// Dot j of a row, j up to two columns beyond either end: 1 when lit.
unsigned dot_beyond(const uint8_t* row, size_t width, long j, bool join_ends)
{
    const long column = dot_column(width, j, join_ends);
    return column >= 0 && row[column] != 0;
}

// Writes the five-dot window of every column of `row` (width > 0) into `windows`.
void dot_windows(const uint8_t* row, size_t width, bool join_ends, uint8_t* windows)
{
    unsigned window = dot_beyond(row, width, -2, join_ends) | dot_beyond(row, width, -1, join_ends) << 1 |
                      dot_beyond(row, width, 0, join_ends) << 2 | dot_beyond(row, width, 1, join_ends) << 3;
    const size_t inner = width > 2 ? width - 2 : 0;
    size_t x = 0;
    for (; x < inner; ++x) {
        window |= static_cast<unsigned>(row[x + 2] != 0) << 4;
        windows[x] = static_cast<uint8_t>(window);
        window >>= 1;
    }
    for (; x < width; ++x) {
        window |= dot_beyond(row, width, static_cast<long>(x) + 2, join_ends) << 4;
        windows[x] = static_cast<uint8_t>(window);
        window >>= 1;
    }
}

// Eight bytes as a little-endian number, whatever the processor.
uint64_t load_le64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

// Hue ids equal to `own` among the six before p[0] (p[-1] first) and the six after it,
// each side counted up to the first that differs. The ids around a row have eight
// entries of room on each side.
int equal_neighbours(const uint8_t* p, uint8_t own)
{
    const uint64_t all = 0x0101010101010101u * own;
    const uint64_t left = load_le64(p - 8) ^ all;   // p[-1] in the top byte
    const uint64_t right = load_le64(p + 1) ^ all;  // p[1] in the bottom byte
    const int same_left = left ? std::countl_zero(left) / 8 : 8;
    const int same_right = right ? std::countr_zero(right) / 8 : 8;
    return std::min(same_left, hue_walk) + std::min(same_right, hue_walk);
}

// Columns of a row are coloured in pieces of this many, so that the dots fit on the stack;
// a multiple of 28, so that every piece starts at a multiple of 4 and of 14.
constexpr size_t colour_piece = 1036;

// The colour bit P of column j - 2 at p[j], for a piece that starts at a multiple of 4.
constexpr std::array<uint8_t, colour_piece + 4> make_piece_bits()
{
    std::array<uint8_t, colour_piece + 4> bits{};
    for (size_t j = 0; j < bits.size(); ++j) bits[j] = column_bits[(j + 2) & 3];
    return bits;
}

// 0xFF at the columns where markers are looked for, for a piece that starts at a multiple of 14.
constexpr std::array<uint8_t, colour_piece> make_marker_columns()
{
    std::array<uint8_t, colour_piece> columns{};
    for (size_t j = 0; j < columns.size(); j += marker_spacing) columns[j] = 0xFF;
    return columns;
}

constexpr std::array<uint8_t, colour_piece + 4> piece_bits = make_piece_bits();
constexpr std::array<uint8_t, colour_piece> marker_columns = make_marker_columns();

// Colours `width` columns of a row pair (at most a piece) from the dots of its first row
// into `out`. First l[x + 2] becomes 0xFF where dot x of the piece is lit once the markers
// are resolved: a marker takes the dot to its left, `before` (0 or 0xFF) at column 0. The
// two entries on each side beyond the piece are the caller's. Byte by byte without
// branches, so that the loops run on vectors.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
void colour_row_pair(uint8_t* l, const uint8_t* row, uint8_t before, uint8_t* out, size_t width, bool blur)
{
    const uint8_t* p = piece_bits.data();
    const uint8_t* m = marker_columns.data();
    l[2] = row[0] == marker ? before : row[0] ? 0xFF : 0;
    for (size_t x = 1; x < width; ++x) {
        const auto at_marker = static_cast<uint8_t>((row[x] == marker ? 0xFF : 0) & m[x]);
        const auto dot = static_cast<uint8_t>(row[x] ? 0xFF : 0), left = static_cast<uint8_t>(row[x - 1] ? 0xFF : 0);
        l[x + 2] = static_cast<uint8_t>((dot & ~at_marker) | (left & at_marker));
    }
    // Column x: dots x-2 .. x+2 are l[x] .. l[x+4], their bits p[x] .. p[x+4].
    if (blur) {
        for (size_t x = 0; x < width; ++x) {
            const auto near = static_cast<uint8_t>((p[x + 1] & l[x + 1]) | (p[x + 2] & l[x + 2]) | (p[x + 3] & l[x + 3]));
            const auto far = static_cast<uint8_t>((p[x] & l[x]) | (p[x + 4] & l[x + 4]));
            out[x] = static_cast<uint8_t>(near | (near ? far : 0));
        }
    } else {
        for (size_t x = 0; x < width; ++x) {
            const auto side = static_cast<uint8_t>((p[x + 1] & l[x + 1]) | (p[x + 3] & l[x + 3]));
            const auto far = static_cast<uint8_t>(((p[x] & l[x]) | (p[x + 4] & l[x + 4])) & l[x + 1] & l[x + 3]);
            out[x] = static_cast<uint8_t>(l[x + 2] & (p[x + 2] | side | far));
        }
    }
}

// Dot j of a row (j from -2 to width + 1, as dot_beyond takes it) as resolve_markers would
// leave it: 0xFF when lit.
uint8_t resolved_dot(const uint8_t* row, size_t width, long j, bool join_ends)
{
    const long column = dot_column(width, j, join_ends);
    if (column < 0) return 0;
    uint8_t pixel = row[column];
    if (pixel == marker && column % static_cast<long>(marker_spacing) == 0)
        pixel = column > 0 ? row[column - 1] : first_marker_value(row, width, join_ends);
    return pixel ? 0xFF : 0;
}

// Colours the pair of rows that starts with dot row `row` (width > 0): packed as two equal
// 4-bit rows in the file's form at `stored` (which may lie over the dots already read), or
// without it into `row` and the row after it.
void colour_pair(uint8_t* row, size_t width, bool join_ends, bool blur, uint8_t* stored)
{
    uint8_t l[colour_piece + 4];  // l[k] for dot k - 2 of the piece
    uint8_t colours[colour_piece];
    // The dots beyond both ends, before any piece is coloured.
    const long w = static_cast<long>(width);
    const uint8_t beyond[4] = {resolved_dot(row, width, -2, join_ends), resolved_dot(row, width, -1, join_ends),
                               resolved_dot(row, width, w, join_ends), resolved_dot(row, width, w + 1, join_ends)};
    l[0] = beyond[0];
    l[1] = beyond[1];
    uint8_t before = first_marker_value(row, width, join_ends) ? 0xFF : 0;
    for (size_t start = 0; start < width;) {
        const size_t count = std::min(colour_piece, width - start);
        const size_t end = start + count;
        // The two dots after the piece are still dots: it is coloured after them.
        const long next = static_cast<long>(end);
        l[count + 2] = next < w ? resolved_dot(row, width, next, join_ends) : beyond[2];
        l[count + 3] = next + 1 < w ? resolved_dot(row, width, next + 1, join_ends) : next < w ? beyond[2] : beyond[3];
        colour_row_pair(l, row + start, before, colours, count, blur);
        if (stored) {
            pack_pixels(stored + start / 2, colours, count, 4);
        } else {
            std::memcpy(row + start, colours, count);
            std::memcpy(row + width + start, colours, count);
        }
        // The last two dots of this piece come before the next one.
        l[0] = l[count];
        l[1] = l[count + 1];
        before = l[count + 1];
        start = end;
    }
    if (stored) {
        const size_t data_bytes = (width + 1) / 2, stride = hires_stored_stride(width);
        std::memset(stored + data_bytes, 0, stride - data_bytes);
        std::memcpy(stored + stride, stored, stride);
    }
}

} // namespace

double average_hue(int a, int b)
{
    const double ha = pattern_hue[a & 15], hb = pattern_hue[b & 15];
    if (is_no_hue(ha)) return hb;
    if (is_no_hue(hb)) return ha;
    double v = (ha + hb) / 2;
    if (ha - hb < -180 || ha - hb > 180) v += 180;
    while (v >= 360) v -= 360;
    return v;
}

void colour_hires_image(bitmap_image& image, bool join_ends, bool blur)
{
    const size_t width = image.width;
    if (width == 0) return;
    const size_t rows = std::min<size_t>(image.height, image.pixels.size() / width);
    if (image.bit_count == 4 && rows == image.height && rows % 2 == 0 && hires_stored_stride(width) <= width) {
        colour_hires_rows(image.pixels.data(), width, rows, image.pixels.data(), join_ends, blur);
        image.stored_form = true;
        return;
    }
    for (size_t y = 0; y + 1 < rows; y += 2) colour_pair(image.pixels.data() + y * width, width, join_ends, blur, nullptr);
}

size_t hires_stored_stride(size_t width)
{
    return static_cast<size_t>(bitmap_row_stride(static_cast<int64_t>(width), 4));
}

void colour_hires_rows(uint8_t* dots, size_t width, size_t rows, uint8_t* stored, bool join_ends, bool blur)
{
    if (width == 0) return;
    const size_t stride = hires_stored_stride(width);
    for (size_t y = 0; y + 1 < rows; y += 2) colour_pair(dots + y * width, width, join_ends, blur, stored + y * stride);
}

int retouch_bitmap(bitmap_image& image, bool join_ends, int start_phase)
{
    const size_t width = image.width, height = image.height;
    if (join_ends && width < narrowest_joined) {
        std::printf("WARNING: too narrow width ... set join_ends to 0\n");
        join_ends = false;
    }
    std::vector<uint8_t> keys, hue_ids, output;
    std::unique_ptr<tv_tables> tables;
    try {
        if (height != 0 && width > 0xFFFFFFFFu / 3 / height) throw std::bad_alloc();
        keys.assign(width, 0);
        hue_ids.assign(width + 2 * id_room, 0);
        output.assign(width * height * 3, 0);
        tables = std::make_unique<tv_tables>();
    } catch (const std::bad_alloc&) {
        std::printf("ERROR: memory exhausted!\n");
        return -1;
    }
    make_tv_tables(*tables);

    const size_t rows = width ? std::min(height, image.pixels.size() / width) : 0;
    uint8_t* const ids = hue_ids.data() + id_room;
    const unsigned phase0 = static_cast<unsigned>(start_phase);  // taken mod 4, also when negative
    for (size_t y = 0; y < rows; y += 2) {
        uint8_t* row = image.pixels.data() + y * width;
        resolve_markers(row, width, join_ends);
        dot_windows(row, width, join_ends, keys.data());
        for (size_t x = 0; x < width; ++x) {
            keys[x] = static_cast<uint8_t>(((phase0 + x) & 3) * window_patterns + keys[x]);
            ids[x] = tables->hue_id[keys[x]];
        }
        // The room around the row: hue 0 as in cleared margins, or with join-ends the ids of
        // the other end (the right-hand copy follows the replacement of no-hues below).
        for (size_t k = 1; k <= id_room; ++k) {
            ids[-static_cast<long>(k)] = join_ends ? ids[width - k] : tables->zero_id;
            ids[width + k - 1] = join_ends ? ids[k - 1] : tables->zero_id;
        }
        // Left to right; a no-hue becomes hue 0 as it is passed, so walks to the left see 0
        // there while walks to the right still see no hue.
        uint8_t* out = output.data() + y * width * 3;
        for (size_t x = 0; x < width; ++x, out += 3) {
            const uint8_t own = ids[x];
            size_t state = no_hue_state;
            if (own == no_hue_id) {
                ids[x] = tables->zero_id;
                if (join_ends && x < id_room) ids[width + x] = tables->zero_id;
            } else {
                state = static_cast<size_t>(equal_neighbours(ids + x, own));
            }
            const uint8_t* bgr = tables->colour[keys[x]][state][row[x] != 0];
            out[0] = bgr[0];
            out[1] = bgr[1];
            out[2] = bgr[2];
        }
        if (y + 1 < height) std::memcpy(output.data() + (y + 1) * width * 3, output.data() + y * width * 3, width * 3);
    }
    image.pixels = std::move(output);
    image.byte_size = static_cast<uint32_t>(width * height * 3);
    image.bit_count = 24;
    image.palette = nullptr;
    image.stored_form = false;
    return 0;
}
