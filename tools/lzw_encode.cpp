// Greedy LZW encoder. The encoder mirrors the decoder's state exactly: the
// decoder adds the entry for a code only when it reads the following code,
// so it runs one entry behind the encoder, and its code width grows after
// that late addition. The width used for each code written here is the
// width the decoder will read it with.

#include "lzw_encode.hpp"

#include <array>

namespace sample {

namespace {

constexpr int code_reset = 0x100;
constexpr int code_end = 0x101;
constexpr int first_free = 0x102;
constexpr int dictionary_size = 4096;
constexpr int max_width = 12;

struct bit_writer {
    std::vector<uint8_t>& out;
    uint32_t pending = 0;  // bits not yet written, low bit first
    int pending_bits = 0;
};

void put_code(bit_writer& w, int code, int width)
{
    w.pending |= uint32_t(code) << w.pending_bits;
    w.pending_bits += width;
    while (w.pending_bits >= 8) {
        w.out.push_back(uint8_t(w.pending & 0xFF));
        w.pending >>= 8;
        w.pending_bits -= 8;
    }
}

void flush_bits(bit_writer& w)
{
    if (w.pending_bits > 0)
        w.out.push_back(uint8_t(w.pending & 0xFF));
    w.pending = 0;
    w.pending_bits = 0;
}

// The dictionary as a trie: entry c is its parent entry's string plus last_byte[c];
// the children of an entry are chained through next_sibling.
struct dictionary {
    std::array<uint16_t, dictionary_size> first_child{};
    std::array<uint16_t, dictionary_size> next_sibling{};
    std::array<uint8_t, dictionary_size> last_byte{};
    int next_free = first_free;
};

void clear(dictionary& d)
{
    // 0 is never a child (children are 0x102 and above): it ends a chain.
    d.first_child.fill(0);
    d.next_free = first_free;
}

int find_child(const dictionary& d, int prefix, uint8_t byte)
{
    for (int c = d.first_child[size_t(prefix)]; c != 0; c = d.next_sibling[size_t(c)])
        if (d.last_byte[size_t(c)] == byte)
            return c;
    return -1;
}

void add_child(dictionary& d, int prefix, uint8_t byte)
{
    if (d.next_free >= dictionary_size)
        return;
    size_t c = size_t(d.next_free++);
    d.last_byte[c] = byte;
    d.first_child[c] = 0;
    d.next_sibling[c] = d.first_child[size_t(prefix)];
    d.first_child[size_t(prefix)] = uint16_t(c);
}

// What the decoder knows: its next free code, width and limit.
struct decoder_view {
    int next_free = first_free;
    int width = 9;
    int limit = 0x200;
};

// The decoder's step after reading a code that is not the first after a
// reset: one entry more (while there is room), then maybe a wider code.
void decoder_adds_entry(decoder_view& v)
{
    if (v.next_free >= dictionary_size)
        return;
    ++v.next_free;
    if (v.next_free == v.limit && v.width < max_width) {
        ++v.width;
        v.limit *= 2;
    }
}

}  // namespace

std::vector<uint8_t> lzw_encode(const uint8_t* data, size_t size, const lzw_options& options)
{
    std::vector<uint8_t> out;
    out.reserve(size / 2 + 16);
    for (int k = 0; k < 4; ++k)
        out.push_back(uint8_t((uint64_t(size) >> (8 * k)) & 0xFF));

    bit_writer bits{out};
    dictionary dict;
    decoder_view view;

    put_code(bits, code_reset, view.width);
    clear(dict);

    size_t pos = 0;
    while (pos < size) {
        // A segment after a reset: its first code is necessarily a literal,
        // since the dictionary holds no longer strings yet.
        int codes_in_segment = 0;
        int current = data[pos++];
        for (;;) {
            int child;
            while (pos < size && (child = find_child(dict, current, data[pos])) >= 0) {
                current = child;
                ++pos;
            }
            put_code(bits, current, view.width);
            if (codes_in_segment++ > 0)
                decoder_adds_entry(view);
            if (pos >= size)
                break;
            if (options.reset_every > 0 && codes_in_segment >= options.reset_every) {
                put_code(bits, code_reset, view.width);
                clear(dict);
                view = decoder_view{};
                break;
            }
            add_child(dict, current, data[pos]);
            current = data[pos++];
        }
    }
    put_code(bits, code_end, view.width);
    flush_bits(bits);
    return out;
}

}  // namespace sample
