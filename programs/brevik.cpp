// brevik: the Apple II settlement mapper. Reads the tiles from the program disk and each
// settlement group from its own disk image.
#include "apple2/apple2_mapper.hpp"
#include "bitmap/output.hpp"

int main(int argc, char** argv)
{
    return finish_console(run_apple2_settlement_mapper(argc, argv));
}
