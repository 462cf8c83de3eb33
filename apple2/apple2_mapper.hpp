// brevik, the Apple II settlement mapper: the settlement driver over five disk images, with
// the hi-res colour rendering of each level between drawing and writing.
#pragma once

#include <cstdint>

#include "bitmap/command_line.hpp"

enum apple2_option_id : option_id {
    option_disk1 = edition_option_base,
    option_disk2,
    option_disk3,
    option_disk4,
    option_disk5,
    option_dos_order,
    option_prodos_order,
    option_blur,
    option_default_placement,
};

inline constexpr option_spec apple2_options[] = {
    {{"-d1", "--disk1", "--program-disk"}, option_disk1, "error: no disk image name"},
    {{"-d2", "--disk2", "--castle-disk"}, option_disk2, "error: no disk image name"},
    {{"-d3", "--disk3", "--dwelling-disk"}, option_disk3, "error: no disk image name"},
    {{"-d4", "--disk4", "--keep-disk"}, option_disk4, "error: no disk image name"},
    {{"-d5", "--disk5", "--towne-disk"}, option_disk5, "error: no disk image name"},
    {{"--do"}, option_dos_order, nullptr},
    {{"--po"}, option_prodos_order, nullptr},
    {{"-B", "--blur"}, option_blur, nullptr},
    {{"--default"}, option_default_placement, nullptr},
};

// What is done to a drawn level before it is written, by the blur count.
enum class level_rendering { colours = 0, blurred_colours = 1, television = 2 };

// Rewrites the eight 768-byte NPC blocks of a group so that every NPC stands at its default
// position at every hour: kind, the three positions and levels from its default record, all
// four window hours from the record's fifth byte.
void apply_default_placement(uint8_t* npc_data);

// brevik's whole run; the exit status.
int run_apple2_settlement_mapper(int argc, char** argv);
