// libFuzzer harness for the FDI header check: a header it takes must lie inside the file
// and leave exactly one disk of the geometry table behind it.
// Build: configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build fdi_fuzz; run
//   ./fdi_fuzz -max_len=4096 -max_total_time=60
#include "x68k/disk_container.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fat_geometry* geometry = nullptr;
    const int header = fdi_header_size(data, size, geometry);
    if (header < 0) return 0;
    if (!geometry || static_cast<size_t>(header) > size || size - static_cast<size_t>(header) != geometry->image_bytes)
        __builtin_trap();
    return 0;
}
