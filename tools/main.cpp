// make_sample_data OUTDIR: writes a complete synthetic data set of every
// edition for the map extractors' tests: OUTDIR/pc and OUTDIR/pc-decoded,
// OUTDIR/x68k, OUTDIR/apple2.

#include "sample_data.hpp"

#include <cstdio>

namespace sample {

void build_sample_data(sample_data& data)
{
    build_tiles(data.tiles);
    build_surface(data.surface);
    build_underworld(data.underworld);
    build_settlements(data.groups);
}

}  // namespace sample

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: %s OUTDIR\n", argc > 0 ? argv[0] : "make_sample_data");
        return 1;
    }
    sample::sample_data data;
    sample::build_sample_data(data);
    if (sample::write_pc_files(data, argv[1]) < 0 || sample::write_x68k_files(data, argv[1]) < 0 ||
        sample::write_apple2_files(data, argv[1]) < 0)
        return 1;
    std::printf("sample data written to '%s'\n", argv[1]);
    return 0;
}
