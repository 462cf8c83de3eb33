// felvik: the PC-98 world mapper. Reads everything from one floppy image.
#include "bitmap/output.hpp"
#include "x68k/x68k_mappers.hpp"

namespace {

constexpr x68k_build felvik = {"felvik", "ZK_Britania.fdi", 4096, 19};

} // namespace

int main(int argc, char** argv)
{
    return finish_console(run_x68k_world_mapper(felvik, argc, argv));
}
