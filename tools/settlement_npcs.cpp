// NPC blocks of the settlement groups: set pieces that drive the placement
// into each of its cases, and ordinary folk whose days run between work,
// meals, walks and bed.
//
// npc_block (576 bytes per location): 32 records of 16 bytes
//   0-2 slot codes, 3-5 x, 6-8 y, 9-11 level of entries 0, 1, 2,
//   12/13 window 0 start/end (entry 0), 14/15 window 1 start/end (entry 2),
//   entry 1 outside both windows;
// then 32 kind bytes at 512 and 32 bytes at 544 that the mappers ignore.

#include "settlement_plan.hpp"

#include <algorithm>
#include <set>
#include <string_view>

namespace sample {

namespace {

struct class_range {
    int from, to, value;
};

constexpr class_range tile_classes[] = {
    {1, 3, 1},     {4, 11, 2},    {14, 15, 2},   {28, 38, 2},   {44, 45, 2},   {48, 51, 2},
    {52, 55, 3},   {64, 64, 2},   {68, 69, 2},   {71, 73, 2},   {87, 87, 4},   {96, 105, 1},
    {106, 107, 2}, {108, 111, 1}, {128, 129, 2}, {132, 135, 2}, {139, 140, 2}, {143, 147, 2},
    {170, 172, 2}, {196, 201, 2}, {221, 221, 2},
};

constexpr class_range kind_classes[] = {
    {1, 17, 2},    {27, 27, 2},   {30, 30, 2},   {32, 47, 1},   {64, 95, 2},   {104, 127, 2},
    {128, 143, 1}, {144, 147, 2}, {148, 151, 3}, {152, 155, 2}, {156, 159, 3}, {160, 183, 2},
    {184, 187, 6}, {188, 191, 3}, {192, 211, 2}, {212, 223, 3}, {224, 235, 2}, {236, 239, 1},
    {240, 243, 3}, {244, 255, 2},
};

template <size_t N>
int lookup(const class_range (&table)[N], int n)
{
    for (const class_range& r : table)
        if (n >= r.from && n <= r.to)
            return r.value;
    return 0;
}

// ------------------------------------------------------------ set pieces
//
// Small patches of tiles stamped onto a level, rows separated by '/'.
// Every stamped cell is reserved: ordinary NPCs never stand on one, so the
// neighbourhoods the placement looks at are exactly as drawn here.

struct set_piece {
    int group, slot, x, y;
    std::string_view rows;
};

uint8_t stamp_tile(char c, uint8_t keep)
{
    switch (c) {
    case 'g': return tile::grass;
    case 's': return tile::sand;
    case 'H': return tile::hedge;
    case 'T': return tile::oak;
    case 'F': return tile::fence;
    case 'X': return tile::boulder;
    case 'K': return tile::cactus;
    case 'R': return tile::rock;
    case 'D': return tile::dock_post;
    case 'P': return tile::pier;
    case ',': return tile::brick_floor;
    case '_': return tile::stone_floor;
    case 'k': return tile::flagstones;
    case 'c': return tile::counter;
    case 'A': return tile::armchair;
    case 'h': return tile::stool;
    case 'u': return tile::chair_up;
    case 'r': return tile::chair_right;
    case 'd': return tile::chair_down;
    case 'l': return tile::chair_left;
    case 'N': return tile::table_top;
    case 'S': return tile::table_bottom;
    case 'O': return tile::round_table;
    case 'b': return tile::bed_head_up;
    case 'B': return tile::bed_head_left;
    case 'p': return tile::pew_up;
    case 'q': return tile::pew_down;
    case 'z': return tile::straw;
    case 'm': return tile::prayer_mat;
    case 'L': return tile::lamp;
    case 'f': return tile::fire_field;
    case '~': return tile::shallows;
    case 'W': return tile::water;
    case '1': return 52;  // water in the north-west corner
    case '2': return 53;
    case '3': return 54;
    case '4': return 55;
    case '6': return 106;  // land band, water in two corners (class 2)
    default: return keep;
    }
}

// Group 0 castle, 1 dwelling, 2 keep, 3 towne; slots as in map_slots.
constexpr set_piece set_pieces[] = {
    // Moonglow 1F (towne slot 0): counters with chairs and brick behind.
    {3, 0, 1, 0, "HHH/HcA/H,H"},    // S (2,1): 171 to the right first, 68 below wins
    {3, 0, 5, 0, "HHH/HcA/H_H"},    // S (6,1): 171 taken, the stone below is not 68
    {3, 0, 9, 0, "HHH/Hch/H,,"},    // S (10,1): 172 first, 68 below taken, 68 down-right
    {3, 0, 20, 0, "ggg/ggg/ggg"},   // night guards share (21,1)
    {3, 0, 24, 0, "ggggg/ggggg/ggggg"},  // hour windows shown by position
    {3, 0, 1, 29, "FFF/FgF/FFF"},   // sheep pen (2,30): no way out
    {3, 0, 30, 0, ","},             // brick floor in the top row...
    {3, 0, 30, 31, "L"},            // ...under nothing: the lamp is in the bottom row
    {3, 0, 24, 29, "L/,"},          // lamp over brick: lit at night
    {3, 0, 26, 29, "L/_"},          // lamp over stone: never lit
    // Britain 1F (towne slot 2): every pose, and a three-way crowd.
    {3, 2, 0, 29, "SOggggggggggg/uuudddgrglgAh/gggNggggggggg"},
    {3, 2, 19, 29, "gggggggggg/zmbBppqbdg/ggggggggOg"},
    {3, 2, 30, 30, "gg/dd"},        // chairs looking down in the bottom row
    {3, 2, 2, 0, "u"},              // chair looking up in the top row
    {3, 2, 4, 0, "ggggg/ggggg/ggggg"},
    // Blackthorn's_Palace 1F (castle slot 6): trees in the corners and edges,
    // with open grass where a reader that wraps rows would go.
    {0, 6, 0, 0, "TT/Tg"},
    {0, 6, 31, 0, "g"},
    {0, 6, 9, 0, "TTT/TTg"},
    {0, 6, 30, 9, "TT/TT/Tg"},
    {0, 6, 0, 11, "g"},
    {0, 6, 0, 19, "gT/TT/TT"},
    {0, 6, 31, 19, "g"},
    {0, 6, 30, 30, "TT/TT"},
    // Blackthorn's_Palace B1F (castle slot 5): an oubliette in the rock.
    {0, 5, 0, 0, "RRRR/RzkR/RRRR"},
    // Buccaneer's_Den (castle slot 15): sea creatures and sailors.
    {0, 15, 29, 4, "HHH/HgH/H~H"},
    {0, 15, 29, 8, "ggg/ggg/ggg"},
    {0, 15, 29, 12, "43/21"},
    {0, 15, 29, 16, "HHH/H6~/HHH"},
    {0, 15, 12, 24, "~~~/~~~/~P~"},
    {0, 15, 16, 23, "DDDD/DP~D/DDDD"},
    {0, 15, 14, 28, "W"},
    {0, 15, 20, 29, "W"},
    // Ararat 1F (keep slot 0): a boulder two farmers are sent to.
    {2, 0, 1, 0, "ggg/gXg/ggg"},
    // Sin'Vraal's_Hut (dwelling slot 14): fire fields.
    {1, 14, 1, 1, "fff/fff/fff"},
    {1, 14, 5, 1, "KKK/KKf/KKK"},
    {1, 14, 9, 1, "fff/fff/fsf"},
    {1, 14, 13, 2, "s"},
};

// ------------------------------------------------------------ set NPCs

constexpr uint8_t any = 0xFF;  // a free cell of the entry's level, picked below

struct set_npc {
    int group, location, index, kind;
    uint8_t x[3], y[3], level[3];
    uint8_t hours[4];  // window 0 start, end; window 1 start, end
};

// Slot codes of set NPCs are 1, 2, 3 for entries 0, 1, 2.
constexpr set_npc set_npcs[] = {
    // Moonglow (towne 0).
    {3, 0, 0, 76, {2, any, any}, {1, 0, 0}, {0, 0, 0}, {8, 18, 0, 0}},      // counter: 171 right, 68 below -> (2,2)
    {3, 0, 1, 73, {6, any, any}, {1, 0, 0}, {0, 0, 0}, {8, 18, 0, 0}},      // counter: keeps 171 (7,1), pose 282
    {3, 0, 2, 77, {10, any, any}, {2, 0, 0}, {0, 0, 0}, {8, 18, 0, 0}},     // stands on the 68 below (10,1)
    {3, 0, 3, 72, {10, any, any}, {1, 0, 0}, {0, 0, 0}, {8, 18, 0, 0}},     // counter: 172, 68 taken -> (11,2)
    {3, 0, 4, 68, {21, any, any}, {1, 0, 0}, {0, 0, 0}, {22, 6, 7, 7}},     // night watch 22-6 at (21,1)
    {3, 0, 5, 0, {21, 21, 21}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0, 0}},         // empty record pointing at (21,1)
    {3, 0, 6, 70, {any, any, 21}, {0, 0, 1}, {0, 0, 0}, {12, 12, 23, 2}},   // window 1 23-2 on (21,1): moves left
    {3, 0, 7, 28, {22, 22, 22}, {2, 2, 2}, {0, 0, 0}, {0, 0, 0, 0}},        // kind 28: never placed
    {3, 0, 8, 80, {24, 28, 26}, {1, 1, 1}, {0, 0, 0}, {10, 14, 12, 18}},    // both windows at 12 and 13: entry 0
    {3, 0, 9, 116, {25, 27, 28}, {2, 2, 2}, {0, 0, 0}, {5, 5, 17, 17}},     // empty windows: always (27,2)
    {3, 0, 10, 4, {2, 2, 2}, {30, 30, 30}, {0, 0, 0}, {0, 0, 0, 0}},        // sheep in the pen
    {3, 0, 11, 4, {2, any, any}, {30, 0, 0}, {0, 0, 0}, {6, 20, 0, 0}},     // second sheep: can't locate
    // Britain (towne 1): the pose table, by day; upstairs at night.
    {3, 1, 0, 73, {0, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 144 under 155: 313
    {3, 1, 1, 106, {1, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},  // 144 under 156: 314
    {3, 1, 2, 65, {2, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 144 under grass: 304
    {3, 1, 3, 79, {3, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 146 over 154: 311
    {3, 1, 4, 93, {4, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 146 over grass, child: 349
    {3, 1, 5, 88, {5, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 146 over grass: 306
    {3, 1, 6, 81, {7, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 145: 305
    {3, 1, 7, 120, {9, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},  // 147: 307
    {3, 1, 8, 85, {11, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},  // 171: 282
    {3, 1, 9, 74, {12, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},  // 172: 330 (no change)
    {3, 1, 10, 117, {19, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},  // 200: 279
    {3, 1, 11, 110, {20, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},  // 201: 280
    {3, 1, 12, 89, {21, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 128: 130
    {3, 1, 13, 90, {22, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 129: 131
    {3, 1, 14, 64, {23, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 132: 352
    {3, 1, 15, 67, {24, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 132: 355
    {3, 1, 16, 109, {25, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},  // 133: 357
    {3, 1, 17, 1, {26, 26, 26}, {30, 30, 30}, {0, 0, 0}, {0, 0, 0, 0}},       // dog on a bed: 257
    {3, 1, 18, 92, {27, any, any}, {30, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 146 over 156, child: 308
    {3, 1, 19, 75, {2, any, any}, {0, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},     // 144 in row 0: 304
    {3, 1, 20, 120, {6, any, any}, {1, 0, 0}, {0, 0, 1}, {9, 17, 22, 6}},     // three on (6,1): keeps it
    {3, 1, 21, 121, {6, any, any}, {1, 0, 0}, {0, 0, 1}, {9, 17, 22, 6}},     // -> (5,1)
    {3, 1, 22, 122, {6, any, any}, {1, 0, 0}, {0, 0, 1}, {9, 17, 22, 6}},     // -> (7,1)
    {3, 1, 23, 78, {30, any, any}, {31, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 146 in row 31: 306
    {3, 1, 24, 94, {31, any, any}, {31, 0, 0}, {0, 0, 1}, {10, 16, 22, 6}},   // 146 in row 31, child: 350
    // Blackthorn's_Palace (castle 1): corners and edges, all day.
    {0, 1, 0, 2, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0, 0}},        // corner (0,0) -> (1,1)
    {0, 1, 1, 1, {31, 31, 31}, {10, 10, 10}, {0, 0, 0}, {0, 0, 0, 0}},  // right edge -> (31,11)
    {0, 1, 2, 5, {0, 0, 0}, {20, 20, 20}, {0, 0, 0}, {0, 0, 0, 0}},     // left edge -> (0,19)
    {0, 1, 3, 3, {31, 31, 31}, {31, 31, 31}, {0, 0, 0}, {0, 0, 0, 0}},  // corner (31,31): can't locate
    {0, 1, 4, 6, {10, 10, 10}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0, 0}},     // top edge -> (11,1)
    // ...and in the basement: a prisoner, joined at night by a second one.
    {0, 1, 10, 116, {1, 1, 1}, {1, 1, 1}, {255, 255, 255}, {0, 0, 0, 0}},  // on straw: 279
    {0, 1, 11, 117, {any, any, 1}, {0, 0, 1}, {0, 0, 255}, {9, 9, 20, 8}},  // 20-8 on (1,1): -> (2,1)
    // Buccaneer's_Den (castle 7).
    {0, 7, 0, 32, {14, 14, 14}, {28, 28, 28}, {0, 0, 0}, {0, 0, 0, 0}},   // sea serpent at sea
    {0, 7, 1, 40, {30, 30, 30}, {5, 5, 5}, {0, 0, 0}, {0, 0, 0, 0}},      // squid ashore -> water (30,6)
    {0, 7, 2, 44, {30, 30, 30}, {9, 9, 9}, {0, 0, 0}, {0, 0, 0, 0}},      // shark ashore: can't locate
    {0, 7, 3, 148, {30, 30, 30}, {13, 13, 13}, {0, 0, 0}, {0, 0, 0, 0}},  // duck on shore 52
    {0, 7, 4, 44, {29, 29, 29}, {12, 12, 12}, {0, 0, 0}, {0, 0, 0, 0}},   // shark on shore 55
    {0, 7, 5, 36, {30, 30, 30}, {17, 17, 17}, {0, 0, 0}, {0, 0, 0, 0}},   // dolphin on 106 -> (31,17)
    {0, 7, 6, 40, {17, 17, 17}, {24, 24, 24}, {0, 0, 0}, {0, 0, 0, 0}},   // squid on the pier -> (18,24)
    {0, 7, 7, 121, {18, any, any}, {24, 0, 0}, {0, 0, 0}, {8, 20, 0, 0}}, // sailor in the water -> (17,24)
    {0, 7, 8, 120, {13, any, any}, {25, 0, 0}, {0, 0, 0}, {8, 20, 0, 0}}, // sailor in the water -> (13,26)
    {0, 7, 9, 128, {20, 20, 20}, {29, 29, 29}, {0, 0, 0}, {0, 0, 0, 0}},  // fishing boat
    // Ararat (keep 0): two farmers sent onto a boulder by day.
    {2, 0, 0, 104, {2, any, any}, {1, 0, 0}, {0, 0, 0}, {7, 19, 0, 0}},  // -> (1,1)
    {2, 0, 1, 105, {2, any, any}, {1, 0, 0}, {0, 0, 0}, {7, 19, 0, 0}},  // -> (3,1)
    // Iolo's_Hut (dwelling 4): positions outside the level.
    {1, 4, 3, 80, {any, 40, any}, {0, 10, 0}, {0, 0, 0}, {20, 6, 3, 3}},  // by day at (40,10)
    {1, 4, 4, 2, {5, 5, 5}, {40, 40, 40}, {0, 0, 0}, {0, 0, 0, 0}},      // always at (5,40)
    // Sin'Vraal's_Hut (dwelling 6): fire spirits.
    {1, 6, 0, 184, {1, 1, 1}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0, 0}},        // in the fire: 56
    {1, 6, 1, 185, {3, 3, 3}, {3, 3, 3}, {0, 0, 0}, {0, 0, 0, 0}},        // in the fire: 56
    {1, 6, 2, 187, {6, 6, 6}, {2, 2, 2}, {0, 0, 0}, {0, 0, 0, 0}},        // on a cactus -> fire (7,2): 56
    {1, 6, 3, 84, {10, any, any}, {2, 0, 0}, {0, 0, 0}, {9, 17, 0, 0}},   // mage in the fire -> sand (10,3)
    {1, 6, 4, 186, {13, 13, 13}, {2, 2, 2}, {0, 0, 0}, {0, 0, 0, 0}},     // on sand: 442
};

void apply_set_pieces(std::vector<level_plan>& levels)
{
    for (const set_piece& sp : set_pieces) {
        level_plan& lp = levels[size_t(sp.group * levels_per_group + sp.slot)];
        int x = sp.x, y = sp.y;
        for (char c : sp.rows) {
            if (c == '/') {
                ++y;
                x = sp.x;
                continue;
            }
            size_t i = size_t(y * level_side + x);
            lp.tiles[i] = stamp_tile(c, lp.tiles[i]);
            lp.reserved[i] = true;
            ++x;
        }
    }
}

// ------------------------------------------------------------ ordinary folk

enum class place { post, bed, seat, floor, outdoor, water, cellar };

struct role {
    int kind;       // first kind; human kinds run through four clothings
    bool clothed;   // kind + n % 4
    place work, rest, night;
    uint8_t hours[4];
};

constexpr role guard{68, true, place::outdoor, place::floor, place::floor, {6, 18, 20, 4}};
constexpr role merchant{64, true, place::post, place::seat, place::bed, {8, 17, 21, 6}};
constexpr role townsman{72, true, place::seat, place::outdoor, place::bed, {11, 14, 22, 7}};
constexpr role townswoman{76, true, place::seat, place::floor, place::bed, {12, 14, 21, 6}};
constexpr role bard{80, true, place::seat, place::outdoor, place::bed, {18, 23, 2, 10}};
constexpr role mage{84, true, place::post, place::floor, place::bed, {9, 17, 23, 7}};
constexpr role noble{88, true, place::seat, place::floor, place::bed, {12, 15, 22, 8}};
constexpr role child{92, true, place::outdoor, place::floor, place::bed, {9, 16, 19, 7}};
constexpr role farmer{104, true, place::outdoor, place::seat, place::bed, {6, 18, 21, 5}};
constexpr role monk{108, true, place::seat, place::floor, place::bed, {5, 9, 20, 5}};
constexpr role jester{112, true, place::floor, place::seat, place::bed, {10, 18, 23, 9}};
constexpr role beggar{116, true, place::outdoor, place::outdoor, place::outdoor, {0, 0, 0, 0}};
constexpr role fighter{120, true, place::outdoor, place::floor, place::bed, {7, 19, 22, 6}};
constexpr role ruler{124, true, place::post, place::seat, place::bed, {9, 18, 22, 8}};
constexpr role prisoner{116, true, place::cellar, place::cellar, place::cellar, {0, 0, 0, 0}};
constexpr role dog{1, false, place::outdoor, place::outdoor, place::outdoor, {0, 0, 0, 0}};
constexpr role cat{2, false, place::floor, place::floor, place::floor, {0, 0, 0, 0}};
constexpr role horse{3, false, place::outdoor, place::outdoor, place::outdoor, {0, 0, 0, 0}};
constexpr role sheep{4, false, place::outdoor, place::outdoor, place::outdoor, {0, 0, 0, 0}};
constexpr role chicken{5, false, place::outdoor, place::outdoor, place::outdoor, {0, 0, 0, 0}};
constexpr role goat{6, false, place::outdoor, place::outdoor, place::outdoor, {0, 0, 0, 0}};
constexpr role rat{27, false, place::cellar, place::cellar, place::cellar, {0, 0, 0, 0}};
constexpr role spider{164, false, place::cellar, place::cellar, place::cellar, {0, 0, 0, 0}};
constexpr role skeleton{168, false, place::cellar, place::cellar, place::cellar, {0, 0, 0, 0}};
constexpr role slime{172, false, place::cellar, place::cellar, place::cellar, {0, 0, 0, 0}};
constexpr role serpent{32, false, place::water, place::water, place::water, {0, 0, 0, 0}};
constexpr role dolphin{36, false, place::water, place::water, place::water, {0, 0, 0, 0}};
constexpr role duck{148, false, place::water, place::outdoor, place::water, {7, 19, 0, 0}};
constexpr role crab{156, false, place::water, place::water, place::water, {0, 0, 0, 0}};

// Who lives where; a location takes from its group's list in order until
// its block or its places run out.
const std::vector<role> castle_folk = {guard,  guard,   ruler, noble,  fighter,   guard,    merchant, townswoman,
                                       mage,   bard,    dog,   jester, serpent,   rat,      prisoner, guard,
                                       noble,  fighter, cat,   horse,  townswoman, child,   skeleton, monk,
                                       guard,  horse,   crab,  slime};
const std::vector<role> dwelling_folk = {townsman, townswoman, dog, chicken, mage, child, goat, duck, farmer, cat};
const std::vector<role> keep_folk = {fighter, guard, monk, fighter, merchant, guard,  mage,  rat,   monk,
                                     horse,   dog,   farmer, spider, fighter, serpent, guard, monk,  skeleton,
                                     fighter, monk,  sheep,  chicken};
const std::vector<role> towne_folk = {merchant, guard,  townsman, townswoman, merchant, child,  bard,   beggar,
                                      dog,      farmer, townsman, townswoman, merchant, guard,  noble,  monk,
                                      cat,      child,  duck,     rat,        chicken,  jester, serpent, sheep,
                                      horse,    mage,   crab,     prisoner};
constexpr int block_limit[4] = {30, 8, 26, 28};

struct spot {
    const level_plan* level;
    cell_pos cell;
};

struct location_state {
    std::vector<const level_plan*> levels;
    std::set<int> used;  // level code * 1024 + cell
};

int used_key(uint8_t code, int x, int y) { return int(code) * level_bytes + y * level_side + x; }

const std::vector<cell_pos>& places_of(const level_plan& lp, place p)
{
    switch (p) {
    case place::post: return lp.posts;
    case place::bed: return lp.beds;
    case place::seat: return lp.seats;
    case place::outdoor: return lp.outdoors;
    case place::water: return lp.waters;
    default: return lp.floors;
    }
}

// A free cell of the wanted sort on one of the location's levels (or the
// given level code) that an NPC of the kind can stand on, with fallbacks
// from the special sorts to the plain ones.
bool pick(lcg& g, location_state& st, place p, int only_code, int kind, spot& out)
{
    const place fallbacks[4] = {p, p == place::water ? place::water : place::floor, place::outdoor, place::floor};
    for (place q : fallbacks) {
        std::vector<spot> options;
        for (const level_plan* lp : st.levels) {
            if (only_code >= 0 && lp->code != only_code)
                continue;
            if (p == place::cellar && lp->code != 255)
                continue;
            for (cell_pos c : places_of(*lp, q))
                if (!st.used.count(used_key(lp->code, c.x, c.y)) &&
                    (tile_class(lp->tiles[size_t(c.y * level_side + c.x)]) & kind_class(kind)))
                    options.push_back({lp, c});
        }
        if (options.empty()) {
            if (p == place::water || p == place::cellar)
                return false;
            continue;
        }
        out = options[size_t(lcg_below(g, int(options.size())))];
        st.used.insert(used_key(out.level->code, out.cell.x, out.cell.y));
        return true;
    }
    return false;
}

void write_record(std::vector<uint8_t>& block, int index, int kind, const uint8_t codes[3], const uint8_t x[3],
                  const uint8_t y[3], const uint8_t level[3], const uint8_t hours[4])
{
    uint8_t* r = block.data() + 16 * index;
    for (int e = 0; e < 3; ++e) {
        r[e] = codes[e];
        r[3 + e] = x[e];
        r[6 + e] = y[e];
        r[9 + e] = level[e];
    }
    for (int k = 0; k < 4; ++k)
        r[12 + k] = hours[k];
    block[size_t(512 + index)] = uint8_t(kind);
    block[size_t(544 + index)] = uint8_t(kind ? 0x40 + index : 0);  // ignored by the mappers
}

void build_block(const std::vector<level_plan>& levels, int group, int location, std::vector<uint8_t>& block)
{
    block.assign(size_t(npc_block_bytes), 0);
    location_state st;
    for (const level_plan& lp : levels)
        if (lp.group == group && lp.location == location)
            st.levels.push_back(&lp);
    lcg g{hash_xy(group, location, 0x4E5043)};
    std::array<bool, 32> taken{};

    // Set NPCs first: their fixed cells are off limits to everyone else.
    for (const set_npc& n : set_npcs)
        if (n.group == group && n.location == location)
            for (int e = 0; e < 3; ++e)
                if (n.x[e] < level_side && n.y[e] < level_side)
                    st.used.insert(used_key(n.level[e], n.x[e], n.y[e]));
    for (const set_npc& n : set_npcs) {
        if (n.group != group || n.location != location)
            continue;
        uint8_t x[3], y[3];
        for (int e = 0; e < 3; ++e) {
            x[e] = n.x[e];
            y[e] = n.y[e];
            spot s{};
            if (n.x[e] == any && pick(g, st, place::floor, n.level[e], n.kind, s)) {
                x[e] = uint8_t(s.cell.x);
                y[e] = uint8_t(s.cell.y);
            }
        }
        const uint8_t codes[3] = {1, 2, 3};
        write_record(block, n.index, n.kind, codes, x, y, n.level, n.hours);
        taken[size_t(n.index)] = true;
    }

    // Then the ordinary folk into the free records.
    const std::vector<role>* folk[4] = {&castle_folk, &dwelling_folk, &keep_folk, &towne_folk};
    int count = int(std::count(taken.begin(), taken.end(), true));
    int index = 0, clothing = location;
    for (const role& r : *folk[group]) {
        if (count >= block_limit[group])
            break;
        while (index < 32 && taken[size_t(index)])
            ++index;
        if (index >= 32)
            break;
        // Entry 1 is where the NPC is outside its windows; an entry whose
        // window is empty is never used and stays on the same cell.
        int kind = r.clothed ? r.kind + clothing % 4 : r.kind;
        spot s[3];
        if (!pick(g, st, r.rest, -1, kind, s[1]))
            continue;
        s[0] = s[2] = s[1];
        if (r.hours[0] != r.hours[1] && !pick(g, st, r.work, -1, kind, s[0]))
            continue;
        if (r.hours[2] != r.hours[3] && !pick(g, st, r.night, -1, kind, s[2]))
            continue;
        if (r.clothed)
            ++clothing;
        uint8_t codes[3], x[3], y[3], level[3];
        for (int e = 0; e < 3; ++e) {
            codes[e] = uint8_t(0x10 * (index % 16 + 1) + e);
            x[e] = uint8_t(s[e].cell.x);
            y[e] = uint8_t(s[e].cell.y);
            level[e] = s[e].level->code;
        }
        write_record(block, index, kind, codes, x, y, level, r.hours);
        taken[size_t(index)] = true;
        ++count;
    }
}

}  // namespace

int tile_class(int tile_number) { return lookup(tile_classes, tile_number); }

int kind_class(int kind) { return lookup(kind_classes, kind); }

void build_settlements(std::array<settlement_group_data, 4>& groups)
{
    std::vector<level_plan> levels;
    build_levels(levels);
    apply_set_pieces(levels);
    for (level_plan& lp : levels)
        collect_places(lp);
    for (int g = 0; g < 4; ++g) {
        settlement_group_data& d = groups[size_t(g)];
        d.map.assign(size_t(levels_per_group * level_bytes), 0);
        d.npc.assign(size_t(locations_per_group * npc_block_bytes), 0);
        for (int s = 0; s < levels_per_group; ++s) {
            const level_plan& lp = levels[size_t(g * levels_per_group + s)];
            std::copy(lp.tiles.begin(), lp.tiles.end(), d.map.begin() + s * level_bytes);
        }
        for (int loc = 0; loc < locations_per_group; ++loc) {
            std::vector<uint8_t> block;
            build_block(levels, g, loc, block);
            std::copy(block.begin(), block.end(), d.npc.begin() + loc * npc_block_bytes);
        }
    }
}

}  // namespace sample
