// Synthetic game data for the map extractors: tile pictures, the two world
// maps and the four settlement groups are built once in memory, then handed
// to an edition writer that only encodes them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace sample {

// ---------------------------------------------------------------- tile set

constexpr int tile_count = 512;
constexpr int tile_side = 16;

// One picture: 16 x 16 colour indexes 0..15 of the 16-colour PC palette,
// row-major, top row first.
using tile_picture = std::array<uint8_t, tile_side * tile_side>;
using tile_set = std::vector<tile_picture>;  // tile_count pictures

// Tile numbers the map builders use by name; the full numbering table is
// at the top of tiles.cpp.
namespace tile {
constexpr uint8_t nothing = 0, deep_water = 1, water = 2, shallows = 3, swamp = 4,
                  grass = 5, scrub = 6, forest = 7, hills = 8, plains = 9, road = 10,
                  bridge = 11, mountains = 12, peaks = 13, sand = 14, cobbles = 15,
                  lava = 16, rock = 17, dark_rock = 18, stalagmites = 19, towne_sign = 20,
                  castle_sign = 21, keep_sign = 22, dwelling_sign = 23, shrine_sign = 24,
                  cave_mouth = 25, ruins = 26, lighthouse = 27, cave_floor = 28,
                  cave_pebbles = 29, dark_grass = 30, flowers = 31, tall_grass = 32,
                  crops = 33, light_woods = 34, palms = 35, ferns = 36, mossy_stones = 37,
                  lawn = 38, oak = 39, boulder = 40, hedge = 41, fence = 42, signpost = 43,
                  planks = 44, carpet = 45, well = 46, statue = 47, garden_bed = 48,
                  vines = 49, trail = 50, hay_field = 51, shore_corner_nw = 52,
                  fire_spirit_in_fire = 56, stone_wall = 57, brick_wall = 58,
                  wood_wall = 59, stone_window = 60, wood_window = 61, wall_torch = 62,
                  fireplace = 63, stone_floor = 64, locked_door = 65, portcullis = 66,
                  pillar = 67, brick_floor = 68, door = 69, barred_window = 70,
                  stairs_up = 71, drawbridge_ns = 72, drawbridge_ew = 73, counter = 74,
                  counter_wares = 75, planter = 76, table = 77, table_food = 78,
                  bookshelf = 79, barrel = 80, crate = 81, anvil = 82, chest = 83,
                  fountain = 84, trough = 85, altar = 86, fire_field = 87,
                  rough_wall = 88, dark_wall = 89, turret = 90, battlement = 91,
                  stained_glass = 92, banner_wall = 93, hatch_closed = 94, ore_vein = 95,
                  shore_first = 96, reef_first = 108, stencil_first = 112,
                  bed_head_up = 128, bed_head_left = 129, sleeper_up = 130,
                  sleeper_left = 131, pew_up = 132, pew_down = 133, kitchen_floor = 134,
                  lamp = 135, shop_sign = 136, wardrobe = 137, potted_plant = 138,
                  flagstones = 139, dirt_floor = 140, rubble = 141, wine_rack = 142,
                  hatch_open = 143, chair_up = 144, chair_right = 145, chair_down = 146,
                  chair_left = 147, stove = 148, cauldron = 149, loom = 150, harp = 151,
                  weapon_rack = 152, lit_floor = 153, table_top = 154, table_bottom = 155,
                  round_table = 156, armour_stand = 157, desk = 158, tapestry = 159,
                  throne = 160, clock = 161, mirror = 162, gravestone = 163,
                  candelabra = 164, sacks = 165, millstone = 166, stocks = 167,
                  cage = 168, dummy = 169, rug = 170, armchair = 171, stool = 172,
                  prison_bars = 173, red_roof = 174, thatch = 175, tower_roof = 176,
                  chimney = 177, wood_wall_torch = 178, glowing_rock = 179,
                  rubble_wall = 180, dock_post = 181, net = 182, pit = 183,
                  crystals = 184, mushroom = 185, bones = 186, cobweb = 187,
                  lava_crust = 188, chasm = 189, broken_column = 190, obelisk = 191,
                  campfire = 192, tent = 193, ship = 194, skiff = 195, ladder_up = 196,
                  ladder_down = 197, stairs_down = 198, pier = 199, straw = 200,
                  prayer_mat = 201, rose_bush = 202, haystack = 203, woodpile = 204,
                  cart = 205, lamp_post = 206, scarecrow = 207, corner_stencil = 208,
                  stone_column = 212, crystal_floor = 213, glow_fungus = 214,
                  rock_pile = 215, bone_pile = 216, iron_grate = 217, lava_vent = 218,
                  obsidian = 219, moon_gate = 220, rune_circle = 221, beehive = 222,
                  birdbath = 223, inn_sign = 224, armoury_sign = 225, magic_sign = 226,
                  healer_sign = 227, water_corner_nw = 228, windmill = 232,
                  watchtower = 233, cairn = 234, dead_tree = 235, cactus = 236,
                  volcano = 237, whirlpool = 238, sea_rock = 239, rune_stone = 240;
}  // namespace tile

// Shore tiles by the land/water state of a cell's four corners.
// Corner bits: 1 north-west, 2 north-east, 4 south-west, 8 south-east,
// a set bit meaning land. Returns 0 for the all-water and all-land codes.
// sandy picks the sand half-edges, land_joined the saddle form whose land
// runs through the cell.
uint8_t shore_tile(int corner_bits, bool sandy, bool land_joined);

void build_tiles(tile_set& tiles);

// --------------------------------------------------------------- world maps

constexpr int world_side = 256;
using world_map = std::vector<uint8_t>;  // world_side * world_side, row-major

// Which 16 x 16 chunk positions the surface file stores.
bool surface_chunk_present(int chunk_position);

void build_surface(world_map& map);
void build_underworld(world_map& map);

// -------------------------------------------------------------- settlements

constexpr int level_side = 32;
constexpr int level_bytes = level_side * level_side;
constexpr int levels_per_group = 16;
constexpr int npc_block_bytes = 576;
constexpr int locations_per_group = 8;

struct settlement_group_data {
    std::vector<uint8_t> map;  // levels_per_group levels of level_bytes
    std::vector<uint8_t> npc;  // locations_per_group blocks of npc_block_bytes
};

void build_settlements(std::array<settlement_group_data, 4>& groups);

// ---------------------------------------------------------------- all data

struct sample_data {
    tile_set tiles;
    world_map surface;
    world_map underworld;
    std::array<settlement_group_data, 4> groups;
};

void build_sample_data(sample_data& data);

// The edition writers. Each returns 0, or -1 after printing a line.
// OUTDIR/pc (as shipped, tile files compressed) and OUTDIR/pc-decoded.
int write_pc_files(const sample_data& data, const std::filesystem::path& out_dir);
// OUTDIR/x68k: the FAT12 floppy image as .xdf and as .fdi.
int write_x68k_files(const sample_data& data, const std::filesystem::path& out_dir);
// OUTDIR/apple2: the program disk and the four settlement disks.
int write_apple2_files(const sample_data& data, const std::filesystem::path& out_dir);

// File names of the settlement groups without the extension, by group.
extern const char* const group_file_base[4];

// Creates a directory (and its parents); 0 or -1 after printing a line.
int make_output_dir(const std::filesystem::path& dir);
// Writes a file of exactly expected bytes; 0 or -1 after printing a line.
int write_output_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, size_t expected);

// Little-endian stores, byte by byte.
inline void put_le16(std::vector<uint8_t>& buf, size_t at, unsigned value)
{
    buf[at] = uint8_t(value & 0xFF);
    buf[at + 1] = uint8_t((value >> 8) & 0xFF);
}

inline void put_le32(std::vector<uint8_t>& buf, size_t at, uint32_t value)
{
    for (size_t k = 0; k < 4; ++k)
        buf[at + k] = uint8_t((value >> (8 * k)) & 0xFF);
}

// ---------------------------------------------------------- small helpers

// Fixed-seed linear congruential generator.
struct lcg {
    uint32_t state;
};

inline uint32_t lcg_next(lcg& g)
{
    g.state = g.state * 1664525u + 1013904223u;
    return g.state >> 8;
}

inline int lcg_below(lcg& g, int n) { return int(lcg_next(g) % uint32_t(n)); }

inline bool lcg_chance(lcg& g, int percent) { return lcg_below(g, 100) < percent; }

// Position hash, for noise that does not depend on drawing order.
inline uint32_t hash_xy(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth value noise summed over octaves, roughly -1..1.
double fractal_noise(double x, double y, uint32_t seed, int octaves);

}  // namespace sample
