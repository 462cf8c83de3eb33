// calvik: the X68000 settlement mapper. Reads everything from one floppy image.
#include "bitmap/output.hpp"
#include "x68k/x68k_mappers.hpp"

namespace {

constexpr x68k_build calvik = {"calvik", "zk-britannia.xdf", 0, 16};

} // namespace

int main(int argc, char** argv)
{
    return finish_console(run_x68k_settlement_mapper(calvik, argc, argv));
}
