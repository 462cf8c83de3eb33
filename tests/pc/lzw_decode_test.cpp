// The LZW decoder of the compressed tile files: streams written code by code, round trips
// through the sample generator's encoder, and corrupt input.
#include "pc/lzw_decode.hpp"
#include "pc_test_support.hpp"

namespace {

constexpr unsigned reset = 0x100, end = 0x101;

// Writes a compressed stream code by code, least significant bit first, at the code width
// a reader of the format has at each point.
struct stream_writer {
    std::vector<uint8_t> bytes;
    size_t bit = 0;
    unsigned width = 9, next_free = 0x102, limit = 0x200;
    bool after_reset = true;

    explicit stream_writer(uint32_t stated)
        : bytes{uint8_t(stated), uint8_t(stated >> 8), uint8_t(stated >> 16), uint8_t(stated >> 24)}
    {
    }
    stream_writer& code(unsigned c)
    {
        for (unsigned i = 0; i < width; ++i, ++bit) {
            if (4 + bit / 8 == bytes.size()) bytes.push_back(0);
            if ((c >> i) & 1) bytes[4 + bit / 8] |= uint8_t(1 << (bit % 8));
        }
        if (c == reset) {
            width = 9, next_free = 0x102, limit = 0x200, after_reset = true;
        } else if (c != end) {
            if (!after_reset && next_free < 4096 && ++next_free == limit && width < 12) ++width, limit *= 2;
            after_reset = false;
        }
        return *this;
    }
    stream_writer& codes(std::initializer_list<unsigned> list)
    {
        for (unsigned c : list) code(c);
        return *this;
    }
};

struct decoded {
    int status;
    std::vector<uint8_t> bytes;
};

decoded decode(const std::vector<uint8_t>& input, size_t max_length = 65536)
{
    decoded result{0, {1, 2, 3}};  // left empty on failure
    result.status = lzw_decode(input.data(), input.size(), max_length, result.bytes);
    return result;
}

std::vector<uint8_t> bytes_of(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Deterministic pseudo-random bytes, `symbols` different values.
std::vector<uint8_t> noise(size_t size, unsigned symbols, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t((seed >> 16) % symbols);
    }
    return bytes;
}

TEST(LzwDecode, HandPackedBits)
{
    // reset 0x100, 'A' 0x41, end 0x101 at 9 bits each: bits 8, 9, 15, 18 and 26 set.
    const std::vector<uint8_t> file = {1, 0, 0, 0, 0x00, 0x83, 0x04, 0x04};
    EXPECT_EQ(stream_writer(1).codes({reset, 'A', end}).bytes, file);
    const decoded d = decode(file);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.bytes, bytes_of("A"));
}

TEST(LzwDecode, WorkedStreams)
{
    // 0x102 = AB, 0x103 = BA; 0x104 is the next free code: AB + A.
    EXPECT_EQ(decode(stream_writer(7).codes({reset, 'A', 'B', 0x102, 0x104, end}).bytes).bytes, bytes_of("ABABABA"));
    // A reset forgets the entries: 0x102 is AB, then CD.
    EXPECT_EQ(decode(stream_writer(8).codes({reset, 'A', 'B', 0x102, reset, reset, 'C', 'D', 0x102, end}).bytes).bytes,
              bytes_of("ABABCDCD"));
    const decoded empty = decode(stream_writer(0).codes({reset, end}).bytes);
    EXPECT_EQ(empty.status, 0);
    EXPECT_TRUE(empty.bytes.empty());
    // Trailing bytes after the end code are ignored.
    std::vector<uint8_t> padded = stream_writer(1).codes({reset, 'Z', end}).bytes;
    padded.insert(padded.end(), 10, 0xFF);
    EXPECT_EQ(decode(padded).bytes, bytes_of("Z"));
}

TEST(LzwDecode, WidthsGrowUntilTheDictionaryIsFull)
{
    // Literals only: entry 0x102 + k is literal k followed by literal k + 1.
    // 254 entries take the next free code to 0x200, 766 to 0x400, 1790 to 0x800, 3838 to 4096.
    const std::vector<uint8_t> literals = noise(1 + 3838, 256, 7);
    stream_writer w(0);
    w.code(reset);
    const std::pair<size_t, unsigned> width_after[] = {{254, 9}, {255, 10}, {766, 10}, {767, 11},
                                                       {1790, 11}, {1791, 12}, {3839, 12}};
    size_t next = 0;
    for (const auto& [count, width] : width_after) {
        for (; next < count; ++next) w.code(literals[next]);
        EXPECT_EQ(w.width, width) << count;
    }
    std::vector<uint8_t> expected = literals;
    // The full dictionary's last entry and its first one, at 12 bits; then 9 bits after a reset.
    for (unsigned c : {0xFFFu, 0x102u, reset, 7u, 7u, 0x102u}) w.code(c);
    w.code(end);
    expected.insert(expected.end(), {literals[3837], literals[3838], literals[0], literals[1], 7, 7, 7, 7});
    w.bytes[0] = uint8_t(expected.size()), w.bytes[1] = uint8_t(expected.size() >> 8);
    const decoded d = decode(w.bytes);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.bytes, expected);
}

TEST(LzwDecode, RoundTripsThroughTheEncoder)
{
    std::vector<uint8_t> ramp(70000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i / 300);
    const std::vector<std::vector<uint8_t>> inputs = {
        {}, {0x42}, std::vector<uint8_t>(65536, 0x55), noise(65536, 256, 1), noise(65536, 3, 2), noise(511, 256, 3),
        ramp, sample_tile_file(false), sample_tile_file(true),
    };
    for (const std::vector<uint8_t>& input : inputs) {
        for (int reset_every : {0, 1, 2, 253, 254, 255, 3838, 3839, 5000}) {
            SCOPED_TRACE(testing::Message() << input.size() << " bytes, reset every " << reset_every);
            const decoded d = decode(lzw_compressed(input, reset_every), input.size());
            ASSERT_EQ(d.status, 0);
            ASSERT_EQ(d.bytes, input);
        }
    }
}

TEST(LzwDecode, RefusesCorruptStreams)
{
    const std::pair<std::vector<uint8_t>, int> cases[] = {
        {{}, lzw_truncated},
        {{1, 0, 0}, lzw_truncated},
        {{1, 0, 0, 0}, lzw_truncated},
        {stream_writer(2).codes({reset, 'A', 'B'}).bytes, lzw_truncated},  // no end code
        {stream_writer(1).codes({'A', end}).bytes, lzw_no_reset},
        {stream_writer(0).codes({end}).bytes, lzw_no_reset},
        {stream_writer(2).codes({reset, 0x102, end}).bytes, lzw_bad_code},
        {stream_writer(4).codes({reset, 'A', 0x103, end}).bytes, lzw_bad_code},
        {stream_writer(9).codes({reset, 'A', 'B', 0x102, 0x104, 0x106, end}).bytes, lzw_bad_code},
        {stream_writer(6).codes({reset, 'A', 'B', 0x102, 0x104, end}).bytes, lzw_wrong_length},
        {stream_writer(8).codes({reset, 'A', 'B', 0x102, 0x104, end}).bytes, lzw_wrong_length},
        {stream_writer(0).codes({reset, 'A', end}).bytes, lzw_wrong_length},
        {stream_writer(0xFFFFFFFF).codes({reset, end}).bytes, lzw_wrong_length},  // above the cap
    };
    for (const auto& [input, status] : cases) {
        const decoded d = decode(input);
        EXPECT_EQ(d.status, status) << testing::PrintToString(input);
        EXPECT_TRUE(d.bytes.empty());
    }
    // Resets only, up to the end of the input.
    stream_writer resets(1);
    while (resets.bytes.size() < 65536) resets.code(reset);
    EXPECT_EQ(decode(resets.bytes).status, lzw_truncated);
}

TEST(LzwDecode, EveryTruncationOfACompressedTileFileFails)
{
    const std::vector<uint8_t> file = lzw_compressed(sample_tile_file(true));
    ASSERT_EQ(decode(file).status, 0);
    for (size_t size = 0; size < file.size(); ++size) {
        std::vector<uint8_t> output;
        ASSERT_EQ(lzw_decode(file.data(), size, 65536, output), lzw_truncated) << size;
        ASSERT_TRUE(output.empty());
    }
}

TEST(LzwDecode, FlippedBitsStayInBounds)
{
    const std::vector<uint8_t> file = lzw_compressed(sample_tile_file(false), 1000);
    int refused = 0;
    for (size_t bit = 0; bit < file.size() * 8; bit += bit < 1024 ? 1 : 127) {
        std::vector<uint8_t> flipped = file;
        flipped[bit / 8] ^= uint8_t(1 << (bit % 8));
        const decoded d = decode(flipped);
        if (d.status == 0) {
            EXPECT_EQ(d.bytes.size(), lzw_stated_length(flipped.data(), flipped.size())) << bit;
        } else {
            EXPECT_GE(d.status, lzw_memory_exhausted) << bit;
            EXPECT_TRUE(d.bytes.empty());
            ++refused;
        }
    }
    EXPECT_GT(refused, 500);
}

} // namespace
