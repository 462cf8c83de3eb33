// The floor the mappers' PNG output is measured against: for each BMP file given, read its
// pixel rows, make the PNG scanlines (filter type 0; RGB from 16, 24 and 32 bits), compress
// them with libdeflate at level 6 and write the PNG file. Nothing but that work.
//
//   png_floor IN.bmp OUT.png [IN.bmp OUT.png ...]
//   g++ -std=c++20 -O2 bench/png_floor.cpp -o png_floor -ldeflate
#include <libdeflate.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

uint32_t get_u32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

void put_be(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t length)
{
    put_be(out, static_cast<uint32_t>(length));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + length);
    put_be(out, libdeflate_crc32(0, out.data() + start, length + 4));
}

int convert(const char* in_path, const char* out_path, libdeflate_compressor* compressor)
{
    std::FILE* in = std::fopen(in_path, "rb");
    if (!in) return -1;
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    if (size < 54) return -1;
    std::vector<uint8_t> file(static_cast<size_t>(size));
    const bool read = std::fread(file.data(), 1, file.size(), in) == file.size();
    std::fclose(in);
    if (!read || file[0] != 'B' || file[1] != 'M') return -1;
    const uint32_t offset = get_u32(&file[10]), width = get_u32(&file[18]), height = get_u32(&file[22]);
    const uint32_t bits = file[28];
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    if (file.size() < offset + stride * height) return -1;
    const bool indexed = bits <= 8;
    const size_t line = (indexed ? (static_cast<size_t>(width) * bits + 7) / 8 : 3 * static_cast<size_t>(width)) + 1;

    const auto raw = std::make_unique_for_overwrite<uint8_t[]>(line * height);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src = &file[offset + stride * (height - 1 - y)];
        uint8_t* dst = raw.get() + line * y;
        *dst++ = 0;
        if (indexed) {
            std::memcpy(dst, src, line - 1);
        } else if (bits == 16) {
            for (uint32_t x = 0; x < width; ++x, src += 2) {
                const unsigned v = src[0] | src[1] << 8;
                *dst++ = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
                *dst++ = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
                *dst++ = static_cast<uint8_t>((v & 31) * 255 / 31);
            }
        } else {
            for (uint32_t x = 0; x < width; ++x, src += bits / 8) {
                *dst++ = src[2];
                *dst++ = src[1];
                *dst++ = src[0];
            }
        }
    }
    const size_t bound = libdeflate_zlib_compress_bound(compressor, line * height);
    const auto compressed = std::make_unique_for_overwrite<uint8_t[]>(bound);
    const size_t compressed_size = libdeflate_zlib_compress(compressor, raw.get(), line * height, compressed.get(), bound);

    std::vector<uint8_t> out = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    std::vector<uint8_t> header;
    put_be(header, width);
    put_be(header, height);
    header.insert(header.end(), {static_cast<uint8_t>(indexed ? bits : 8), static_cast<uint8_t>(indexed ? 3 : 2), 0, 0, 0});
    chunk(out, "IHDR", header.data(), header.size());
    if (indexed) {
        std::vector<uint8_t> palette;
        for (uint32_t i = 0; i < (1u << bits); ++i)
            palette.insert(palette.end(), {file[54 + 4 * i + 2], file[54 + 4 * i + 1], file[54 + 4 * i]});
        chunk(out, "PLTE", palette.data(), palette.size());
    }
    chunk(out, "IDAT", compressed.get(), compressed_size);
    chunk(out, "IEND", nullptr, 0);
    std::FILE* stream = std::fopen(out_path, "wb");
    if (!stream) return -1;
    const bool ok = std::fwrite(out.data(), 1, out.size(), stream) == out.size();
    return std::fclose(stream) == 0 && ok ? 0 : -1;
}

} // namespace

int main(int argc, char** argv)
{
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    for (int i = 1; i + 1 < argc; i += 2)
        if (convert(argv[i], argv[i + 1], compressor) < 0) {
            std::printf("png_floor: can't convert '%s'\n", argv[i]);
            return 1;
        }
    libdeflate_free_compressor(compressor);
    return 0;
}
