// The X68000 and PC-98 mappers: the settlement and world drivers over one floppy image.
// An X68000 build and a PC-98 build of the same driver differ only in their build constants.
#pragma once

#include "bitmap/command_line.hpp"
#include "bitmap/random.hpp"
#include "bitmap/tile_sheet.hpp"
#include "x68k/disk_container.hpp"

struct x68k_build {
    const char* name;           // the name the usage text shows, whatever argv[0] is
    const char* default_image;  // the floppy image read without -d
    int header_size;            // bytes ahead of sector 0 in the image file
    int mirror_rows;            // tile rows the mirror-room colours reach
};

enum x68k_option_id : option_id {
    option_disk = edition_option_base,
};

inline constexpr option_spec x68k_disk_options[] = {
    {{"-d", "--disk", "--britannia-disk"}, option_disk, "error: no disk image name"},
};

inline constexpr const char* x68k_disk_usage[] = {
    "        -d|--disk|--britannia-disk DISK-IMG",
    "                                specify britannia disk",
    "                                read '%s' if not specified\n",
};

// The tiles of a run: from the image's TILES.CH and NPC.CH (with a mask sheet unless -M), or
// from the shape bitmap and the mask bitmap; the image is opened into `disk` (see
// load_x68k_tiles). 0, or -1 after the error lines.
int load_x68k_tile_source(const x68k_build& build, disk_image& disk, const char* image,
                          const tile_source_settings& settings, tile_sheet& sheet, tile_sheet& mask, rand15_state& random);

// The programs' whole runs; the exit status.
int run_x68k_settlement_mapper(const x68k_build& build, int argc, char** argv);
int run_x68k_world_mapper(const x68k_build& build, int argc, char** argv);
