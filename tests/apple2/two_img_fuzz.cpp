// libFuzzer harness for the 2MG decoder (build lines in container_fuzz.hpp). A small ProDOS
// disk holding SHAPES is built once; each input is the file's 64-byte header (bytes the input
// does not reach keep those of a valid header), followed by that disk and then by the rest of
// the input, so that the header's offsets and lengths meet files of every size. The sample
// files seed it with their headers (libFuzzer keeps the first 1024 bytes of each).
// Fuzz seeds: apple2-formats/*.2mg
// Fuzz options: -max_len=1024
#include <algorithm>

#include "container_fuzz.hpp"
#include "fuzz/fuzz_support.hpp"
#include "prodos_builder.hpp"

namespace {
constexpr size_t header_bytes = 64;
std::vector<uint8_t> header(header_bytes), body;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    test_volume v = new_volume("ZK.PROGRAM", 240);  // under 128 KiB: no fresh mapping per run
    std::vector<uint8_t> shapes(apple_shapes_bytes);
    for (size_t i = 0; i < shapes.size(); ++i) shapes[i] = static_cast<uint8_t>(i * 7);
    put_entry(v, 2, 1, 2, "SHAPES", put_file_data(v, 2, shapes), apple_shapes_bytes);
    body = disk_image(v, sector_order_do);  // blocks in order, as format 1 says
    const auto put_u32 = [](uint8_t* p, uint32_t value) { for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i)); };
    std::copy_n("2IMGZK..", 8, header.begin());
    put_u32(&header[8], header_bytes);      // header size, version 1
    header[10] = 1;
    put_u32(&header[12], 1);                 // ProDOS order
    put_u32(&header[20], static_cast<uint32_t>(body.size() / block_bytes));
    put_u32(&header[24], header_bytes);
    put_u32(&header[28], static_cast<uint32_t>(body.size()));
    write_seed_when_asked(header);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The disk stays in place from run to run; only the header and the tail change.
    static std::vector<uint8_t> file;
    if (file.empty()) {
        file = header;
        file.insert(file.end(), body.begin(), body.end());
    }
    const size_t given = std::min(size, header_bytes);
    file.resize(header_bytes + body.size() + (size - given));
    std::copy(header.begin(), header.end(), file.begin());
    std::copy_n(data, given, file.begin());
    std::copy(data + given, data + size, file.begin() + static_cast<std::ptrdiff_t>(header_bytes + body.size()));
    read_decoded_disk(file, decode_2mg);
    return 0;
}
