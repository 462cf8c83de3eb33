// Drawing settlement levels, tiles first and then NPCs, and writing the sixteen levels of
// a group as BMP (or PNG) files named "zk.<location>.<level>.<hour>.bmp" or "zk.<location>.<level>.bmp"
// (".png").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bitmap/output.hpp"
#include "bitmap/png.hpp"
#include "bitmap/tile_sheet.hpp"
#include "settlement/npc_placement.hpp"

// Night is hour 4 or less, or 20 or more.
constexpr bool is_night(unsigned hour) { return hour <= 4 || hour >= 20; }

// How levels are drawn and NPCs shown.
struct settlement_view {
    unsigned hour = 12;
    bool no_npcs = false;
    bool no_pose_change = false;
};

// Draws a level into the pixels of `image` (32 cells of `pictures` across, in their form):
// the tiles with the night substitutions, then, unless view.no_npcs, the NPCs of `block`
// placed at the hour, through the pictures' mask when they have one.
void draw_settlement_level(bitmap_image& image, const picture_rows& pictures, const uint8_t* level,
                           const uint8_t* block, uint8_t level_code, const settlement_view& view);

// The pictures of a level's cells and the NPCs drawn over them, ready to be drawn a row
// of tiles at a time.
struct level_cells {
    struct overlay {
        uint8_t x;
        uint16_t picture;
    };
    uint16_t cells[level_bytes];
    overlay overlays[level_bytes];           // by row of tiles, left to right
    uint16_t first_overlay[level_size + 1];  // the overlays of tile row y: first_overlay[y] ..
};

// Works out the cells of a level (see draw_settlement_level).
void prepare_level_cells(level_cells& drawing, const picture_rows& pictures, const uint8_t* level, const uint8_t* block,
                         uint8_t level_code, const settlement_view& view);
// Draws the pictures.tile_height pixel rows of tile row `y` at `dst`, each row 32 cells of
// the pictures' row bytes.
void draw_level_tile_row(uint8_t* dst, const level_cells& drawing, const picture_rows& pictures, int y);
// Draws every tile row of a level into the pixels of `image`.
void draw_level_cells(bitmap_image& image, const level_cells& drawing, const picture_rows& pictures);

// One settlement group to be drawn and written, level slot by level slot.
struct settlement_job {
    int group = 0;
    const uint8_t* map_data = nullptr;   // 16384 bytes
    const uint8_t* npc_data = nullptr;   // 8 blocks
    size_t block_size = npc_block_bytes;
    bitmap_image* image = nullptr;
    const picture_rows* pictures = nullptr;  // without a mask: NPCs copied whole
    output_file* output = nullptr;           // its buffer serves every level
    png_writer* png = nullptr;               // levels as PNG files through it; none: BMP files
    settlement_view view;
    bool overwrite = false;
    bool skip_existing = false;         // an existing file is kept, and its level not drawn
    const char* output_dir = nullptr;   // where the files go; null: the current directory
    uint8_t locations[settlement_group_count] = {0xFF, 0xFF, 0xFF, 0xFF};  // per group, bit l: draw location l
    bool hour_in_names = true;
};

// Builds "zk.<location>.<level>.<hh>.bmp", or the name without the hour, in `name` (".png"
// with `png`); a name buffer reused from level to level keeps its capacity, so no level
// allocates.
void make_settlement_file_name(std::string& name, const char* location, const char* level, unsigned hour,
                               bool hour_in_names, bool png = false);

// Builds the path of slot `slot`'s file in `name` and says whether the slot is drawn: 1 to
// draw it; 0 when its location is not chosen, or when its file exists and is to be kept
// (after the skip line); -1 after "error: memory exhausted!".
int prepare_settlement_slot(const settlement_job& job, int slot, std::string& name);
// Prints "[location]" and works out the cells of level slot `slot`.
void prepare_settlement_slot_cells(const settlement_job& job, int slot, level_cells& drawing);
// Prints "[location]" and draws level slot `slot` of the job into its image.
void draw_settlement_slot(const settlement_job& job, int slot);
// Writes the image as the file `name` that prepare_settlement_slot built. 0, or -1 after
// the error lines.
int write_settlement_slot(const settlement_job& job, const std::string& name);
// Draws and writes the chosen slots in order; stops at the first failed write. 0 or -1.
int draw_settlement_group(const settlement_job& job);
