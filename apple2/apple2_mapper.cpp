// brevik's driver: options, tiles from the program disk, each group from its own disk.
#include "apple2_mapper.hpp"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "apple2/disk_container.hpp"
#include "apple2/hires_colour.hpp"
#include "apple2/hires_tiles.hpp"
#include "settlement/settlement_mapper.hpp"

namespace {

constexpr int disk_count = 5;  // the program disk, then one disk per settlement group
constexpr const char* default_disks[disk_count] = {"zk-program.dsk", "zk-castle.dsk", "zk-dwelling.dsk",
                                                  "zk-keep.dsk", "zk-towne.dsk"};
constexpr unsigned default_placement_hour = 9;
constexpr size_t npc_default_offset = 576;  // five bytes per NPC: kind, x, y, level, hours
constexpr size_t npc_default_bytes = 5;

const option_table brevik_tables[] = {common_options, apple2_options, settlement_options};

const char* const disk_usage[] = {
    "        -d1|--disk1|--program-disk  DISK-IMG",
    "                                specify program disk",
    "                                read '%s' if not specified\n",
    "        -d2|--disk2|--castle-disk   DISK-IMG",
    "                                specify castle disk",
    "                                read '%s' if not specified\n",
    "        -d3|--disk3|--dwelling-disk DISK-IMG",
    "                                specify dwelling disk",
    "                                read '%s' if not specified\n",
    "        -d4|--disk4|--keep-disk     DISK-IMG",
    "                                specify keep disk",
    "                                read '%s' if not specified\n",
    "        -d5|--disk5|--towne-disk    DISK-IMG",
    "                                specify towne disk",
    "                                read '%s' if not specified\n",
    "        --do|--po               specify sector order of disk image",
    "                                    --do    DOS 3.3 order",
    "                                    --po    ProDOS order (default)",
    "        -B|--blur               blur graphics",
};
const char* const default_placement_usage[] = {"           --default            use default time and position"};
const usage_text brevik_usage[] = {usage_without_data_path, disk_usage,    shape_usage,
                                   settlement_usage,        default_placement_usage, closing_usage, png_usage,
                                   settlement_output_usage, output_usage};

const mapper_program brevik = {"brevik", true, brevik_tables, brevik_usage, default_disks, false};

struct apple2_settings {
    settlement_settings settlement;
    const char* disks[disk_count] = {default_disks[0], default_disks[1], default_disks[2], default_disks[3],
                                     default_disks[4]};
    int forced_order = 0;  // --do or --po, else each disk's own
    int blur = 0;  // counted, at most 2
    bool default_placement = false;
};

// 0 to go on; negative when the run ends (see command_line_exit_status).
int parse_brevik_command_line(int argc, char** argv, apple2_settings& settings)
{
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    for (int status; (status = next_settlement_option(cursor, brevik, settings.settlement, option)) != 0;) {
        if (status < 0) return status;
        switch (option.id) {
        case option_disk1:
        case option_disk2:
        case option_disk3:
        case option_disk4:
        case option_disk5: settings.disks[option.id - option_disk1] = option.argument; break;
        case option_dos_order: settings.forced_order = sector_order_do; break;
        case option_prodos_order: settings.forced_order = sector_order_po; break;
        case option_blur:
            if (settings.blur < 2) ++settings.blur;
            break;
        case option_default_placement: settings.default_placement = true; break;
        default: std::printf("error: unknown option '%s'\n", option.text); return -1;
        }
    }
    finish_settlement_settings(settings.settlement);
    return 0;
}

// Turns the dots of a drawn level into colours. 0, or -1 after "error: can't retouch bitmap".
int render_level(bitmap_image& image, level_rendering rendering)
{
    switch (rendering) {
    case level_rendering::colours: colour_hires_image(image, false, false); return 0;
    case level_rendering::blurred_colours: colour_hires_image(image, false, true); return 0;
    case level_rendering::television:
        if (retouch_bitmap(image, true, 0) < 0) {
            std::printf("error: can't retouch bitmap\n");
            return -1;
        }
        return 0;
    }
    return 0;
}

// Draws level slot `slot` a row of tiles at a time and colours each row while it is fresh,
// into the image of the job in the file's row form.
void draw_coloured_level(const settlement_job& job, int slot, std::vector<uint8_t>& band, bool blur)
{
    level_cells drawing;
    prepare_settlement_slot_cells(job, slot, drawing);
    bitmap_image& image = *job.image;
    const size_t rows = static_cast<size_t>(job.pictures->tile_height);
    const size_t band_bytes = hires_stored_stride(image.width) * rows;
    for (int y = 0; y < level_size; ++y) {
        draw_level_tile_row(band.data(), drawing, *job.pictures, y);
        colour_hires_rows(band.data(), image.width, rows, image.pixels.data() + band_bytes * static_cast<size_t>(y), false, blur);
    }
    image.stored_form = true;
}

} // namespace

void apply_default_placement(uint8_t* npc_data)
{
    for (int location = 0; location < settlement_locations; ++location) {
        uint8_t* block = npc_data + apple2_npc_block_bytes * location;
        for (int i = 0; i < npcs_per_location; ++i) {
            const uint8_t* defaults = block + npc_default_offset + npc_default_bytes * i;
            uint8_t* record = block + 16 * i;
            block[npc_kind_offset + i] = defaults[0];
            for (int e = 0; e < 3; ++e) {
                record[3 + e] = defaults[1];
                record[6 + e] = defaults[2];
                record[9 + e] = defaults[3];
            }
            std::memset(record + 12, defaults[4], 4);
        }
    }
}

int run_apple2_settlement_mapper(int argc, char** argv)
{
    apple2_settings settings;
    if (const int status = parse_brevik_command_line(argc, argv, settings); status < 0)
        return command_line_exit_status(status);
    const tile_source_settings& tiles = settings.settlement.common.tiles;

    tile_sheet sheet;
    // Settlement disks without an order in their names take the program disk's order; with
    // a shape bitmap the program disk is not read and they take the forced order or order 2.
    int program_order = settings.forced_order ? settings.forced_order : sector_order_po;
    if (tiles.use_bitmaps) {
        if (read_shape_bitmap(tiles.shape_bitmap, sheet, sheet_columns, sheet_rows) < 0) {
            std::printf("error: read shape bitmap '%s'\n", tiles.shape_bitmap);
            return 1;
        }
    } else {
        apple2_disk program;
        if (open_apple2_disk(settings.disks[0], disk_role::program, settings.forced_order, 0, program) < 0 ||
            load_apple_tiles(program, sheet, tiles.type, tiles.no_remake_water) < 0) {
            std::printf("error: read shape '%s'\n", settings.disks[0]);
            return 1;
        }
        program_order = program.order;
    }
    // Levels drawn from the disk's tiles are dots until they are rendered, one byte a pixel.
    const bool rendered = !tiles.use_bitmaps;
    const auto rendering = static_cast<level_rendering>(settings.blur);
    settlement_run run;
    if (start_settlement_run(run, settings.settlement, sheet, nullptr, apple2_npc_block_bytes, !rendered) < 0) return 1;
    const size_t level_pixels = run.image.pixels.size();
    settlement_job& job = run.job;
    if (settings.default_placement) {
        job.view.hour = default_placement_hour;
        job.hour_in_names = false;
    }
    // The 16-colour renderings colour each row of tiles as it is drawn, as dots into `band`.
    const bool banded = rendered && rendering != level_rendering::television;
    std::vector<uint8_t> band;
    if (banded && allocate_buffer(band, run.image.width * static_cast<size_t>(run.pictures.tile_height)) < 0) return 1;
    std::string name;
    for (int group = 0; group < settlement_group_count; ++group) {
        if (!(settings.settlement.groups & (1u << group))) continue;
        const char* disk = settings.disks[group + 1];
        apple2_disk settlement;
        if (open_apple2_disk(disk, disk_role::settlement, settings.forced_order, program_order, settlement) < 0 ||
            read_map_tracks(settlement, run.map_data.data(), run.map_data.size()) < 0) {
            std::printf("error: read map data '%s'\n", disk);
            return 1;
        }
        if (read_npc_track(settlement, run.npc_data.data(), settlement_locations) < 0) {
            std::printf("error: read npc data '%s'\n", disk);
            return 1;
        }
        if (settings.default_placement) apply_default_placement(run.npc_data.data());
        job.group = group;
        for (int slot = 0; slot < settlement_slots; ++slot) {
            const int wanted = prepare_settlement_slot(job, slot, name);
            if (wanted < 0) return 1;
            if (wanted == 0) continue;
            if (rendered) {
                // The last rendering may have made the image 24-bit: the level is drawn as dots again.
                describe_map_image(run.image, sheet, level_size);
                run.image.pixels.resize(level_pixels);
            }
            if (banded) {
                draw_coloured_level(job, slot, band, rendering == level_rendering::blurred_colours);
            } else {
                draw_settlement_slot(job, slot);
                if (rendered && render_level(run.image, rendering) < 0) return 1;
            }
            if (write_settlement_slot(job, name) < 0) return 1;
        }
    }
    return 0;
}
