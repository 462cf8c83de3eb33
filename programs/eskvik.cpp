// eskvik: the X68000 world mapper. Reads everything from one floppy image.
#include "bitmap/output.hpp"
#include "x68k/x68k_mappers.hpp"

namespace {

constexpr x68k_build eskvik = {"eskvik", "zk-britannia.xdf", 0, 16};

} // namespace

int main(int argc, char** argv)
{
    return finish_console(run_x68k_world_mapper(eskvik, argc, argv));
}
