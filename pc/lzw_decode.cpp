// The LZW decoder of the compressed PC tile files. Every string is written straight into its
// place in the output, last byte first, by walking its prefix chain: no recursion and no
// scratch stack. Each step checks the input before reading and the output before writing.
#include "lzw_decode.hpp"

#include <new>

#include "bitmap/bytes.hpp"

namespace {

constexpr unsigned reset_code = 0x100;
constexpr unsigned end_code = 0x101;
constexpr unsigned first_free_code = 0x102;
constexpr unsigned max_codes = 4096;          // codes 0-4095, 12 bits at most
constexpr unsigned first_width = 9;           // bits per code after a reset
constexpr unsigned max_width = 12;
constexpr unsigned first_limit = 0x200;       // the width grows when the next free code gets here

// The strings of codes 0-4095: string(c) = string(prefix[c]) + last[c]. Literals are their
// own one-byte strings; entries 0x100 and 0x101 are never used.
struct lzw_dictionary {
    uint16_t prefix[max_codes];
    uint16_t length[max_codes];
    uint8_t first[max_codes];
    uint8_t last[max_codes];
};

// Codes of the stream, least significant bit first.
struct bit_reader {
    const uint8_t* data;
    size_t size;
    size_t next;      // next byte to take in
    uint32_t bits;    // bits taken in and not yet used, the next one in bit 0
    unsigned count;   // how many
};

// The next `width` bits as a code, or -1 when the input ends first.
int read_code(bit_reader& reader, unsigned width)
{
    while (reader.count < width) {
        if (reader.next == reader.size) return -1;
        reader.bits |= static_cast<uint32_t>(reader.data[reader.next++]) << reader.count;
        reader.count += 8;
    }
    const int code = static_cast<int>(reader.bits & ((1u << width) - 1));
    reader.bits >>= width;
    reader.count -= width;
    return code;
}

// Writes the `length` bytes of the string of `code` to out[0..length), last byte first.
void write_string(const lzw_dictionary& dictionary, unsigned code, uint8_t* out, size_t length)
{
    while (length > 0) {
        out[--length] = dictionary.last[code];
        code = dictionary.prefix[code];
    }
}

int decode_codes(bit_reader& reader, lzw_dictionary& dictionary, uint8_t* out, size_t out_size)
{
    for (unsigned c = 0; c < 256; ++c) {
        dictionary.prefix[c] = 0;
        dictionary.length[c] = 1;
        dictionary.first[c] = dictionary.last[c] = static_cast<uint8_t>(c);
    }
    unsigned width = first_width;
    unsigned next_free = first_free_code;
    unsigned limit = first_limit;
    bool started = false;
    bool after_reset = true;  // the next code must be a literal
    unsigned previous = 0;
    size_t written = 0;
    for (;;) {
        const int read = read_code(reader, width);
        if (read < 0) return lzw_truncated;
        const unsigned code = static_cast<unsigned>(read);
        if (!started && code != reset_code) return lzw_no_reset;
        started = true;
        if (code == reset_code) {
            width = first_width;
            next_free = first_free_code;
            limit = first_limit;
            after_reset = true;
            continue;
        }
        if (code == end_code) return written == out_size ? 0 : lzw_wrong_length;
        if (after_reset) {
            if (code >= 256) return lzw_bad_code;  // the dictionary is empty
            if (written == out_size) return lzw_wrong_length;
            out[written++] = static_cast<uint8_t>(code);
            previous = code;
            after_reset = false;
            continue;
        }

        uint8_t first;
        if (code < next_free) {
            const size_t length = dictionary.length[code];
            if (length > out_size - written) return lzw_wrong_length;
            write_string(dictionary, code, out + written, length);
            written += length;
            first = dictionary.first[code];
        } else if (code == next_free) {
            // Not defined yet: the previous string followed by its own first byte.
            const size_t length = dictionary.length[previous] + 1u;
            if (length > out_size - written) return lzw_wrong_length;
            first = dictionary.first[previous];
            write_string(dictionary, previous, out + written, length - 1);
            out[written + length - 1] = first;
            written += length;
        } else {
            return lzw_bad_code;
        }

        if (next_free < max_codes) {
            dictionary.prefix[next_free] = static_cast<uint16_t>(previous);
            dictionary.length[next_free] = static_cast<uint16_t>(dictionary.length[previous] + 1);
            dictionary.first[next_free] = dictionary.first[previous];
            dictionary.last[next_free] = first;
            ++next_free;
            if (next_free == limit && width < max_width) {
                ++width;
                limit <<= 1;
            }
        }
        previous = code;
    }
}

} // namespace

uint32_t lzw_stated_length(const uint8_t* input, size_t size)
{
    return size < lzw_header_bytes ? 0 : get_u32_le(input);
}

int lzw_decode(const uint8_t* input, size_t size, size_t max_length, std::vector<uint8_t>& output)
{
    output.clear();
    if (size < lzw_header_bytes) return lzw_truncated;
    const size_t stated = get_u32_le(input);
    if (stated > max_length) return lzw_wrong_length;
    std::vector<uint8_t> decoded;
    try {
        decoded.resize(stated);
    } catch (const std::bad_alloc&) {
        return lzw_memory_exhausted;
    }
    bit_reader reader = {input + lzw_header_bytes, size - lzw_header_bytes, 0, 0, 0};
    lzw_dictionary dictionary;
    const int status = decode_codes(reader, dictionary, decoded.data(), decoded.size());
    if (status < 0) return status;
    output.swap(decoded);
    return 0;
}
