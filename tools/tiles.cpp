// Tile pictures of the synthetic tile set: 512 pictures of 16 x 16 pixels in
// the 16 PC colours (0 black, 1 blue, 2 green, 3 cyan, 4 red, 5 magenta,
// 6 brown, 7 light grey, 8 dark grey, 9 light blue, 10 light green,
// 11 light cyan, 12 light red, 13 light magenta, 14 yellow, 15 white).
//
// Tile numbering. "class" is what the NPC placement lets stand there:
// 2 land, 1 water, 3 both, 4 only the fire spirits, - nothing.
//
//   #        class  picture
//   0        -      nothing (black, outside upper floors)
//   1        1      deep water (also every absent surface area)
//   2        1      water
//   3        1      shallow water; its pixels fill the stencilled shores
//   4        2      swamp
//   5        2      grass                       (recoloured in dungeons)
//   6 7 8 9  2      scrub, forest, hills, plains
//   10 11    2      dirt road, wooden bridge (planks run north-south)
//   12 13    -      mountains, snowy peaks
//   14 15    2      sand, cobblestone street
//   16-19    -      lava, rock wall, brown rock wall, stalagmites
//   20-27    -      world signs: towne, castle, keep, dwelling, shrine,
//                   cave mouth, ruins, lighthouse
//   28 29    2      cave floor, cave floor with pebbles
//   30-38    2      dark grass, flower meadow, tall grass, crop field, light
//                   woods, palms, ferns, mossy stones, mown lawn (recoloured)
//   39-43    -      oak, boulder, hedge, fence, signpost
//   44 45    2      plank floor, red carpet
//   46 47    -      well, statue
//   48-51    2      garden bed, vines on bricks, grassy trail, hay field
//                   (recoloured)
//   52-55    3      grass with water in the NW, NE, SW, SE corner
//                   (stencils 208-211; recoloured)
//   56       -      pose: fire spirit blazing in a fire field
//   57-63    -      stone wall, brick wall, wooden wall, stone wall with
//                   window, wooden wall with window, wall torch, fireplace
//   64       2      stone floor
//   65-67    -      locked door, portcullis, pillar
//   68 69    2      brick floor, door
//   70       -      barred window
//   71       2      stairs up
//   72 73    2      drawbridge across a moat running north-south / east-west
//                   (raised at night: drawn as tile 3)
//   74-86    -      counter, counter with wares, planter (recoloured),
//                   table, laid table, bookshelf, barrel, crate, anvil,
//                   chest, fountain, trough, altar
//   87       4      fire field
//   88-95    -      rough wall, dark wall, turret, battlement, stained glass,
//                   banner wall, closed hatch, rock with ore
//   96-111   1/2    shores, water part stencilled by tile + 16:
//                   96-99 grass with water N, E, S, W half; 100 101 two land
//                   corners NW+SE / NE+SW; 102-105 as 96-99 with sand;
//                   106 107 (class 2) land band with water corners NE+SW /
//                   NW+SE; 108-111 reef rocks in the shallows
//   112-127  -      stencils of 96-111 (15 where water goes, else 0)
//   128 129  2      bed with the head at the top / at the left
//   130 131  -      pose: sleepers in those beds
//   132 133  2      pew facing up / down
//   134 135  2      kitchen floor, lamp stand on bricks (lights the brick
//                   floor below it at night: tile 153)
//   136-138  -      shop sign, wardrobe, potted plant
//   139 140  2      cellar flagstones, dirt floor
//   141 142  -      rubble, wine rack
//   143      2      open hatch
//   144-147  2      chair facing up, right, down, left
//   148-152  -      stove, cauldron, loom, harp, weapon rack
//   153      -      lamp-lit brick floor
//   154-156  -      table (north end), table (south end), round table
//   157-169  -      armour stand, desk, tapestry, throne, clock, mirror,
//                   gravestone, candelabra, sacks, millstone, stocks, cage,
//                   training dummy
//   170-172  2      rug, armchair, stool
//   173-195  -      prison bars, red roof, thatch, tower roof, chimney,
//                   torch on wood, glowing rock, rubble wall, dock post, net,
//                   pit, crystals, giant mushroom, bones, cobweb, lava crust,
//                   chasm, broken column, obelisk, campfire, tent, ship, skiff
//   196-199  2      ladder up, ladder down, stairs down, pier
//   200 201  2      straw pallet, prayer mat
//   202-207  -      rose bush, haystack, woodpile, cart, lamp post, scarecrow
//   208-211  -      corner stencils NW, NE, SW, SE (15 inside the triangle)
//   212-219  -      stone column, crystal floor, glowing fungus, rock pile,
//                   bone pile, iron grate, lava vent, obsidian
//   220      -      moon gate
//   221      2      rune circle
//   222-227  -      beehive, birdbath, inn / armoury / magic / healer signs
//   228-231  -      water with a grass corner NW, NE, SW, SE (inverted
//                   stencils 208-211)
//   232-239  -      windmill, watchtower, cairn, dead tree, cactus, volcano,
//                   whirlpool, rock in the sea
//   240-255  -      rune stones
//   256+k           NPC of kind k (black ground; sea kinds on water):
//                   1 dog, 2 cat, 3 horse, 4 sheep, 5 chicken, 6 goat,
//                   27 rat, 28 gargoyle (never placed), 32 sea serpent,
//                   36 dolphin, 40 squid, 44 shark, 64-67 merchant,
//                   68-71 guard, 72-75 townsman, 76-79 townswoman, 80-83 bard,
//                   84-87 mage, 88-91 noble, 92-95 child, 104-107 farmer,
//                   108-111 monk, 112-115 jester, 116-119 beggar,
//                   120-123 fighter, 124-127 ruler, 128 fishing boat,
//                   148 duck, 156 crab, 164 spider, 168 skeleton, 172 slime,
//                   184-187 fire spirits; other kinds a plain figure
//   279 280 282     pose: sleeper on straw, kneeling on a mat, seated in an
//                   armchair
//   304-307         pose: seated facing up, right, down, left
//   308-311 312-315 pose: eating facing down / up (four clothings)
//   352-355 356-359 pose: in a pew facing up / down (four clothings)
//   436 439         Underworld items: glowing rune stone, sword in a rock
//   488-491         random-dot tiles (overwritten when loaded; left black)

#include "sample_data.hpp"

#include <cmath>
#include <initializer_list>
#include <string_view>

namespace sample {
namespace {

using pic = tile_picture;

// ------------------------------------------------------------ drawing kit

void put(pic& p, int x, int y, int c)
{
    if (x >= 0 && x < 16 && y >= 0 && y < 16)
        p[size_t(y * 16 + x)] = uint8_t(c);
}

void fill(pic& p, int c) { p.fill(uint8_t(c)); }

void rect(pic& p, int x0, int y0, int x1, int y1, int c)
{
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            put(p, x, y, c);
}

void frame(pic& p, int x0, int y0, int x1, int y1, int c)
{
    for (int x = x0; x <= x1; ++x) {
        put(p, x, y0, c);
        put(p, x, y1, c);
    }
    for (int y = y0; y <= y1; ++y) {
        put(p, x0, y, c);
        put(p, x1, y, c);
    }
}

void line(pic& p, int x0, int y0, int x1, int y1, int c)
{
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx + dy;
    for (;;) {
        put(p, x0, y0, c);
        if (x0 == x1 && y0 == y1)
            break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void disc(pic& p, int cx, int cy, int r, int c)
{
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r + r)
                put(p, x, y, c);
}

void ring(pic& p, int cx, int cy, int r, int c)
{
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x) {
            int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            if (d <= r * r + r && d > (r - 1) * (r - 1) + (r - 1))
                put(p, x, y, c);
        }
}

// Scatters count pixels of colour c at hashed positions.
void speckle(pic& p, int c, int count, uint32_t seed)
{
    for (int i = 0; i < count; ++i) {
        uint32_t h = hash_xy(i, 77, seed);
        put(p, int(h & 15), int((h >> 4) & 15), c);
    }
}

void checker(pic& p, int c0, int c1, int cell)
{
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            put(p, x, y, ((x / cell + y / cell) & 1) ? c1 : c0);
}

struct ink {
    char ch;
    int colour;
};

// Draws 16 rows of 16 characters; '.' leaves the pixel alone, other
// characters take their colour from the ink list.
void art(pic& p, const std::array<std::string_view, 16>& rows, std::initializer_list<ink> inks,
         int dx = 0, int dy = 0)
{
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16 && x < int(rows[size_t(y)].size()); ++x) {
            char ch = rows[size_t(y)][size_t(x)];
            if (ch == '.')
                continue;
            for (const ink& k : inks)
                if (k.ch == ch)
                    put(p, x + dx, y + dy, k.colour);
        }
}

// Overlays every non-black pixel of src.
void overlay(pic& p, const pic& src)
{
    for (size_t i = 0; i < p.size(); ++i)
        if (src[i] != 0)
            p[i] = src[i];
}

// Inside the corner triangle that runs from the middle of one edge to the
// middle of the next (corner 0 NW, 1 NE, 2 SW, 3 SE).
bool in_corner(int corner, int x, int y)
{
    int cx = (corner & 1) ? 15 - x : x;
    int cy = (corner & 2) ? 15 - y : y;
    return cx + cy <= 7;
}

// ------------------------------------------------------------ textures

void paint_grass(pic& p, uint32_t seed)
{
    fill(p, 2);
    for (int i = 0; i < 7; ++i) {
        uint32_t h = hash_xy(i, 5, seed);
        int x = int(h & 15), y = int((h >> 4) & 15);
        put(p, x, y, 10);
        put(p, x + 1, y - 1, 10);
    }
    speckle(p, 10, 6, seed + 1);
}

void paint_water(pic& p, int base, int wave, int crest, uint32_t seed)
{
    fill(p, base);
    for (int row = 0; row < 4; ++row) {
        uint32_t h = hash_xy(row, 9, seed);
        int y = row * 4 + 1 + int(h & 1);
        int x = int((h >> 2) % 11);
        line(p, x, y, x + 3, y, wave);
        put(p, x + 1, y - 1, crest);
    }
}

void paint_brick_floor(pic& p)
{
    fill(p, 6);
    for (int row = 0; row < 4; ++row)
        for (int b = -1; b < 2; ++b) {
            int x0 = b * 8 + ((row & 1) ? 4 : 0), y0 = row * 4;
            rect(p, x0, y0, x0 + 6, y0 + 2, 4);
            put(p, x0, y0, 12);
            put(p, x0 + 1, y0, 12);
        }
}

void block_wall(pic& p, int stone, int mortar, int light, int shade, int rows, int width)
{
    fill(p, mortar);
    int h = 16 / rows;
    for (int row = 0; row < rows; ++row)
        for (int b = -1; b <= 16 / width; ++b) {
            int x0 = b * width + ((row & 1) ? width / 2 : 0), y0 = row * h;
            rect(p, x0, y0, x0 + width - 2, y0 + h - 2, stone);
            line(p, x0, y0, x0 + width - 2, y0, light);
            line(p, x0 + width - 2, y0 + 1, x0 + width - 2, y0 + h - 2, shade);
        }
}

void paint_stone_wall(pic& p) { block_wall(p, 7, 8, 15, 8, 4, 8); }

void paint_stone_floor(pic& p)
{
    fill(p, 8);
    for (int i = 0; i < 16; i += 8) {
        line(p, i, 0, i, 15, 7);
        line(p, 0, i, 15, i, 7);
    }
    speckle(p, 0, 5, 64);
}

void wood_planks(pic& p, bool vertical)
{
    fill(p, 6);
    for (int i = 3; i < 16; i += 4) {
        if (vertical)
            line(p, i, 0, i, 15, 0);
        else
            line(p, 0, i, 15, i, 0);
    }
    for (int i = 0; i < 4; ++i) {
        int a = i * 4 + 1, b = (i * 7 + 3) % 14;
        if (vertical)
            put(p, a, b, 14);
        else
            put(p, b, a, 14);
    }
}

void paint_cave_floor(pic& p, uint32_t seed)
{
    fill(p, 0);
    speckle(p, 8, 22, seed);
    speckle(p, 6, 6, seed + 3);
}

void rock_wall(pic& p, int base, int light, int dark, uint32_t seed)
{
    fill(p, base);
    for (int i = 0; i < 5; ++i) {
        uint32_t h = hash_xy(i, 3, seed);
        int x = int(h & 15), y = int((h >> 4) & 15), r = 2 + int((h >> 8) % 2);
        disc(p, x, y, r, dark);
        disc(p, x - 1, y - 1, r - 1, base);
        put(p, x - 1, y - 2, light);
    }
    line(p, 0, 15, 15, 15, dark);
}

// ------------------------------------------------------------ terrain

void draw_terrain(tile_set& t)
{
    using namespace tile;
    fill(t[nothing], 0);
    paint_water(t[deep_water], 1, 9, 1, 1);
    paint_water(t[water], 1, 9, 11, 2);
    speckle(t[water], 9, 10, 22);
    paint_water(t[shallows], 9, 11, 15, 3);
    speckle(t[shallows], 11, 6, 33);

    pic& sw = t[swamp];
    checker(sw, 2, 0, 1);
    disc(sw, 4, 5, 2, 3);
    disc(sw, 11, 11, 2, 3);
    for (int i = 0; i < 5; ++i)
        line(sw, 2 + i * 3, 15, 3 + i * 3, 11, 10);

    paint_grass(t[grass], 5);
    pic& sc = t[scrub];
    paint_grass(sc, 6);
    for (int i = 0; i < 4; ++i) {
        int x = 2 + (i % 2) * 8 + i, y = 3 + (i / 2) * 7;
        disc(sc, x, y, 1, 10);
        put(sc, x + 1, y + 2, 0);
    }
    pic& fo = t[forest];
    fill(fo, 2);
    for (int i = 0; i < 3; ++i) {
        int cx = 4 + i * 4 + (i == 1 ? 1 : 0), cy = i == 1 ? 4 : 9;
        disc(fo, cx, cy, 3, 0);
        disc(fo, cx, cy - 1, 3, 10);
        disc(fo, cx + 1, cy, 1, 2);
        put(fo, cx, cy + 4, 6);
    }
    pic& hi = t[hills];
    paint_grass(hi, 8);
    for (int i = 0; i < 2; ++i) {
        int cx = 5 + i * 6, cy = 7 + i * 5;
        for (int x = -4; x <= 4; ++x) {
            int y = cy - (16 - x * x) / 4;
            put(hi, cx + x, y, 10);
            put(hi, cx + x, y + 1, 6);
        }
    }
    pic& pl = t[plains];
    paint_grass(pl, 9);
    speckle(pl, 6, 40, 90);
    speckle(pl, 14, 6, 91);
    pic& rd = t[road];
    fill(rd, 6);
    speckle(rd, 8, 14, 10);
    speckle(rd, 14, 5, 11);
    pic& br = t[bridge];
    paint_water(br, 1, 9, 11, 12);
    rect(br, 3, 0, 12, 15, 6);
    for (int y = 1; y < 16; y += 3)
        line(br, 3, y, 12, y, 0);
    line(br, 3, 0, 3, 15, 14);
    line(br, 12, 0, 12, 15, 8);

    // Mountains: two peaks, lit from the left, snow on top.
    auto peak = [](pic& mo, int ax, int ay, int snow) {
        for (int y = ay; y < 16; ++y) {
            int half = (y - ay) * 2 / 3;
            for (int x = ax - half; x <= ax + half; ++x) {
                bool capped = y < ay + snow;
                put(mo, x, y, x < ax ? (capped ? 15 : 7) : (capped ? 7 : 8));
            }
            put(mo, ax - half, y, 0);
            put(mo, ax + half, y, 0);
        }
    };
    for (int n : {12, 13}) {
        pic& mo = t[size_t(n)];
        fill(mo, 6);
        speckle(mo, 8, 10, uint32_t(n));
        peak(mo, 11, n == 13 ? 4 : 6, n == 13 ? 3 : 1);
        peak(mo, 5, n == 13 ? 0 : 2, n == 13 ? 5 : 2);
    }
    pic& sa = t[sand];
    fill(sa, 14);
    speckle(sa, 6, 12, 14);
    for (int i = 0; i < 3; ++i)
        line(sa, 1 + i * 5, 4 + i * 4, 4 + i * 5, 3 + i * 4, 6);
    pic& cb = t[cobbles];
    block_wall(cb, 7, 8, 7, 8, 4, 5);

    pic& la = t[lava];
    fill(la, 4);
    for (int i = 0; i < 4; ++i) {
        uint32_t h = hash_xy(i, 16, 16);
        int x = int(h & 15), y = int((h >> 4) & 15);
        line(la, x, y, x + 4, y + 1, 12);
        put(la, x + 2, y, 14);
    }
    rock_wall(t[rock], 7, 15, 8, 17);
    rock_wall(t[dark_rock], 6, 14, 0, 18);
    pic& st = t[stalagmites];
    paint_cave_floor(st, 19);
    for (int i = 0; i < 3; ++i) {
        int x = 3 + i * 5, base = 13 - (i % 2) * 4;
        for (int y = 0; y < 6; ++y)
            line(st, x - y / 2, base - 5 + y, x + y / 3, base - 5 + y, y < 2 ? 15 : 7);
    }
}

void draw_greenery(tile_set& t)
{
    using namespace tile;
    pic& dg = t[dark_grass];
    fill(dg, 2);
    speckle(dg, 0, 30, 30);
    speckle(dg, 10, 4, 31);
    pic& fl = t[flowers];
    paint_grass(fl, 31);
    for (int i = 0; i < 9; ++i) {
        uint32_t h = hash_xy(i, 31, 31);
        int colours[3] = {12, 14, 13};
        put(fl, int(h & 15), int((h >> 4) & 15), colours[i % 3]);
    }
    pic& tg = t[tall_grass];
    fill(tg, 2);
    for (int i = 0; i < 8; ++i) {
        int x = i * 2 + (i & 1);
        line(tg, x, 15 - (i * 5) % 4, x + 1, 6 - (i * 3) % 5, 10);
    }
    pic& cr = t[crops];
    fill(cr, 6);
    for (int y = 1; y < 16; y += 4) {
        line(cr, 0, y, 15, y, 2);
        line(cr, 0, y + 1, 15, y + 1, 2);
        for (int x = (y / 4) % 2; x < 16; x += 3)
            put(cr, x, y, 14);
    }
    pic& lw = t[light_woods];
    paint_grass(lw, 34);
    for (int i = 0; i < 2; ++i) {
        int cx = 4 + i * 7, cy = 4 + i * 6;
        disc(lw, cx, cy, 2, 10);
        put(lw, cx + 1, cy + 1, 2);
        line(lw, cx, cy + 3, cx, cy + 4, 6);
    }
    pic& pa = t[palms];
    fill(pa, 14);
    speckle(pa, 6, 8, 35);
    for (int i = 0; i < 2; ++i) {
        int cx = 5 + i * 6, cy = 4 + i * 5;
        line(pa, cx, cy, cx - 1, cy + 6, 6);
        line(pa, cx - 4, cy + 1, cx + 4, cy - 1, 2);
        line(pa, cx - 3, cy - 2, cx + 3, cy + 2, 10);
        put(pa, cx, cy, 2);
    }
    pic& fe = t[ferns];
    fill(fe, 2);
    for (int i = 0; i < 3; ++i) {
        int x = 2 + i * 5, y = 13 - i * 2;
        line(fe, x, y, x + 4, y - 8, 10);
        for (int k = 1; k < 8; k += 2)
            put(fe, x + k / 2 + 1, y - k, 10);
    }
    pic& ms = t[mossy_stones];
    fill(ms, 2);
    disc(ms, 5, 5, 3, 7);
    disc(ms, 11, 11, 2, 8);
    put(ms, 4, 4, 15);
    speckle(ms, 10, 6, 37);
    pic& lw2 = t[lawn];
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            put(lw2, x, y, ((x / 4) & 1) ? 10 : 2);
    pic& gb = t[garden_bed];
    fill(gb, 6);
    for (int y = 2; y < 16; y += 5)
        for (int x = 1 + (y % 2); x < 16; x += 4) {
            put(gb, x, y, 2);
            put(gb, x + 1, y, 10);
            put(gb, x, y + 1, 2);
        }
    pic& vi = t[vines];
    paint_brick_floor(vi);
    line(vi, 0, 3, 15, 13, 2);
    line(vi, 3, 0, 8, 6, 2);
    speckle(vi, 10, 6, 49);
    pic& tr = t[trail];
    paint_grass(tr, 50);
    for (int y = 0; y < 16; ++y)
        line(tr, 3 + y / 3, y, 8 + y / 3, y, 6);
    speckle(tr, 14, 3, 51);
    pic& hf = t[hay_field];
    fill(hf, 14);
    for (int x = 0; x < 16; x += 3)
        line(hf, x, 15, x + 2, 0, 6);
    line(hf, 0, 0, 15, 0, 2);
    line(hf, 0, 15, 15, 15, 2);
}

// Shore and stencil shapes: true where water goes.
bool shore_water(int shore_index, int x, int y)
{
    switch (shore_index) {
    case 0: case 6: return y < 8;
    case 1: case 7: return x >= 8;
    case 2: case 8: return y >= 8;
    case 3: case 9: return x < 8;
    case 4: return !(in_corner(0, x, y) || in_corner(3, x, y));
    case 5: return !(in_corner(1, x, y) || in_corner(2, x, y));
    case 10: return in_corner(1, x, y) || in_corner(2, x, y);
    case 11: return in_corner(0, x, y) || in_corner(3, x, y);
    default: {
        // reef rocks 12-15
        int k = shore_index - 12;
        int cx = 4 + (k * 5) % 8, cy = 5 + (k * 3) % 7;
        int dx = x - cx, dy = y - cy;
        bool rock = dx * dx + 2 * dy * dy <= 10 + k * 2;
        int dx2 = x - (cx + 6) % 14 - 1, dy2 = y - (cy + 5) % 13 - 1;
        rock = rock || dx2 * dx2 + dy2 * dy2 <= 3;
        return !rock;
    }
    }
}

// Land pixels next to water turn to sand, like a beach.
void beach_edge(pic& p, const std::array<bool, 256>& wet)
{
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            if (wet[size_t(y * 16 + x)])
                continue;
            bool near = false;
            for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
                int nx = x + dx, ny = y + dy;
                if (nx >= 0 && nx < 16 && ny >= 0 && ny < 16 && wet[size_t(ny * 16 + nx)])
                    near = true;
            }
            if (near)
                put(p, x, y, 14);
        }
}

// Shores are drawn with their own water in plain blue; the loaders paint
// tile 3 over it through the stencils.
void draw_shore(pic& p, const std::array<bool, 256>& wet, int land, uint32_t seed)
{
    pic ground{};
    if (land == 14) {
        fill(ground, 14);
        speckle(ground, 6, 10, seed);
    } else if (land == 8) {
        fill(ground, 8);
        speckle(ground, 7, 30, seed);
        speckle(ground, 15, 4, seed + 1);
    } else {
        paint_grass(ground, seed);
    }
    for (size_t i = 0; i < 256; ++i)
        p[i] = wet[i] ? 1 : ground[i];
    if (land != 8)
        beach_edge(p, wet);
}

void draw_shores(tile_set& t)
{
    for (int k = 0; k < 16; ++k) {
        std::array<bool, 256> wet{};
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                wet[size_t(y * 16 + x)] = shore_water(k, x, y);
        int land = (k >= 6 && k <= 9) ? 14 : (k >= 12 ? 8 : 2);
        draw_shore(t[size_t(tile::shore_first + k)], wet, land, uint32_t(96 + k));
        pic& st = t[size_t(tile::stencil_first + k)];
        for (size_t i = 0; i < 256; ++i)
            st[i] = wet[i] ? 15 : 0;
    }
    for (int corner = 0; corner < 4; ++corner) {
        std::array<bool, 256> tri{}, not_tri{};
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                tri[size_t(y * 16 + x)] = in_corner(corner, x, y);
                not_tri[size_t(y * 16 + x)] = !in_corner(corner, x, y);
            }
        pic& st = t[size_t(tile::corner_stencil + corner)];
        for (size_t i = 0; i < 256; ++i)
            st[i] = tri[i] ? 15 : 0;
        draw_shore(t[size_t(tile::shore_corner_nw + corner)], tri, 2, uint32_t(52 + corner));
        draw_shore(t[size_t(tile::water_corner_nw + corner)], not_tri, 2, uint32_t(228 + corner));
    }
}

// ------------------------------------------------------------ features

void draw_world_signs(tile_set& t)
{
    using namespace tile;
    pic& to = t[towne_sign];
    paint_grass(to, 20);
    for (int i = 0; i < 3; ++i) {
        int x = 1 + i * 5, y = 2 + (i % 2) * 6;
        rect(to, x, y + 2, x + 4, y + 5, 7);
        for (int k = 0; k < 3; ++k)
            line(to, x + k, y + 2 - k, x + 4 - k, y + 2 - k, 4);
        put(to, x + 2, y + 4, 0);
    }
    pic& ca = t[castle_sign];
    paint_grass(ca, 21);
    rect(ca, 3, 5, 12, 13, 7);
    rect(ca, 1, 3, 4, 13, 8);
    rect(ca, 11, 3, 14, 13, 8);
    for (int x = 1; x < 15; x += 2)
        put(ca, x, 2, x < 5 || x > 10 ? 8 : 2);
    rect(ca, 7, 10, 8, 13, 0);
    line(ca, 12, 0, 12, 3, 6);
    rect(ca, 13, 0, 14, 1, 12);
    pic& ke = t[keep_sign];
    paint_grass(ke, 22);
    rect(ke, 5, 3, 10, 14, 8);
    for (int x = 5; x <= 10; x += 2)
        put(ke, x, 2, 8);
    line(ke, 6, 4, 6, 13, 7);
    rect(ke, 7, 11, 8, 14, 0);
    put(ke, 8, 6, 14);
    pic& dw = t[dwelling_sign];
    paint_grass(dw, 23);
    for (int k = 0; k < 5; ++k)
        line(dw, 7 - k - 1, 4 + k, 8 + k, 4 + k, 14);
    rect(dw, 3, 9, 12, 13, 6);
    rect(dw, 9, 10, 10, 13, 0);
    disc(dw, 13, 3, 1, 7);
    pic& sh = t[shrine_sign];
    paint_grass(sh, 24);
    rect(sh, 3, 4, 12, 5, 15);
    for (int x : {4, 7, 10})
        rect(sh, x, 6, x + 1, 12, 7);
    rect(sh, 2, 13, 13, 14, 15);
    line(sh, 7, 1, 8, 1, 14);
    pic& cm = t[cave_mouth];
    rock_wall(cm, 7, 15, 8, 25);
    disc(cm, 8, 11, 4, 0);
    rect(cm, 4, 11, 12, 15, 0);
    pic& ru = t[ruins];
    paint_grass(ru, 26);
    rect(ru, 2, 3, 3, 12, 7);
    rect(ru, 2, 11, 9, 12, 7);
    rect(ru, 11, 6, 12, 9, 8);
    speckle(ru, 8, 6, 27);
    pic& li = t[lighthouse];
    paint_water(li, 1, 9, 11, 27);
    disc(li, 8, 9, 5, 8);
    disc(li, 8, 8, 3, 15);
    rect(li, 7, 7, 9, 9, 4);
    put(li, 8, 8, 14);
    line(li, 11, 5, 15, 2, 14);

    paint_cave_floor(t[cave_floor], 28);
    pic& cp = t[cave_pebbles];
    paint_cave_floor(cp, 29);
    for (int i = 0; i < 5; ++i) {
        uint32_t h = hash_xy(i, 29, 29);
        disc(cp, int(h & 15), int((h >> 4) & 15), 0, 7);
        put(cp, int(h & 15) + 1, int((h >> 4) & 15), 8);
    }

    pic& oa = t[oak];
    paint_grass(oa, 39);
    disc(oa, 8, 8, 7, 0);
    disc(oa, 7, 7, 6, 2);
    disc(oa, 6, 6, 4, 10);
    speckle(oa, 2, 6, 390);
    rect(oa, 10, 12, 11, 15, 6);
    pic& bo = t[boulder];
    paint_grass(bo, 40);
    disc(bo, 8, 9, 5, 8);
    disc(bo, 7, 8, 4, 7);
    put(bo, 5, 6, 15);
    put(bo, 6, 6, 15);
    pic& he = t[hedge];
    fill(he, 2);
    for (int i = 0; i < 20; ++i) {
        uint32_t h = hash_xy(i, 41, 41);
        disc(he, int(h & 15), int((h >> 4) & 15), 1, 10);
    }
    speckle(he, 0, 14, 42);
    pic& fe = t[fence];
    paint_grass(fe, 42);
    rect(fe, 0, 5, 15, 5, 6);
    rect(fe, 0, 10, 15, 10, 6);
    for (int x = 1; x < 16; x += 5)
        rect(fe, x, 3, x + 1, 13, 14);
    pic& sp = t[signpost];
    paint_grass(sp, 43);
    rect(sp, 7, 6, 8, 15, 6);
    rect(sp, 2, 2, 13, 6, 14);
    line(sp, 3, 4, 10, 4, 6);
    put(sp, 12, 4, 6);

    wood_planks(t[planks], false);
    pic& ct = t[carpet];
    fill(ct, 4);
    line(ct, 0, 1, 15, 1, 14);
    line(ct, 0, 14, 15, 14, 14);
    for (int y = 3; y < 13; y += 4)
        for (int x = (y / 4) * 2; x < 16; x += 6) {
            put(ct, x, y + 1, 12);
            put(ct, x + 1, y, 12);
            put(ct, x + 2, y + 1, 12);
        }
    pic& we = t[well];
    paint_grass(we, 46);
    disc(we, 8, 8, 6, 7);
    disc(we, 8, 8, 4, 1);
    put(we, 7, 7, 9);
    line(we, 2, 2, 14, 2, 6);
    rect(we, 2, 2, 2, 5, 6);
    rect(we, 14, 2, 14, 5, 6);
    line(we, 8, 2, 8, 6, 8);
    pic& sta = t[statue];
    paint_stone_floor(sta);
    rect(sta, 3, 12, 12, 15, 7);
    disc(sta, 8, 3, 2, 15);
    rect(sta, 6, 6, 10, 11, 15);
    line(sta, 10, 6, 13, 2, 15);
    line(sta, 6, 6, 6, 11, 7);
}

void draw_walls_and_doors(tile_set& t)
{
    using namespace tile;
    paint_stone_wall(t[stone_wall]);
    block_wall(t[brick_wall], 12, 8, 14, 4, 5, 6);
    pic& ww = t[wood_wall];
    wood_planks(ww, true);
    line(ww, 0, 0, 15, 0, 14);
    line(ww, 0, 15, 15, 15, 0);
    pic& sw = t[stone_window];
    paint_stone_wall(sw);
    rect(sw, 4, 3, 11, 12, 6);
    rect(sw, 5, 4, 10, 11, 9);
    line(sw, 7, 4, 7, 11, 6);
    line(sw, 5, 7, 10, 7, 6);
    put(sw, 9, 5, 15);
    pic& wn = t[wood_window];
    overlay(wn, t[wood_wall]);
    rect(wn, 4, 4, 11, 11, 14);
    rect(wn, 5, 5, 10, 10, 9);
    line(wn, 8, 5, 8, 10, 14);
    put(wn, 6, 6, 15);
    pic& wt = t[wall_torch];
    paint_stone_wall(wt);
    rect(wt, 7, 8, 8, 14, 6);
    disc(wt, 8, 5, 2, 12);
    disc(wt, 8, 5, 1, 14);
    put(wt, 7, 2, 14);
    pic& fp = t[fireplace];
    paint_stone_wall(fp);
    rect(fp, 3, 5, 12, 15, 0);
    rect(fp, 2, 3, 13, 4, 8);
    line(fp, 4, 14, 11, 14, 6);
    disc(fp, 7, 11, 2, 12);
    disc(fp, 8, 12, 1, 14);
    put(fp, 6, 8, 4);

    paint_stone_floor(t[stone_floor]);
    pic& ld = t[locked_door];
    wood_planks(ld, true);
    frame(ld, 0, 0, 15, 15, 8);
    line(ld, 1, 4, 14, 4, 8);
    line(ld, 1, 11, 14, 11, 8);
    rect(ld, 10, 7, 12, 9, 14);
    put(ld, 11, 8, 0);
    pic& pc = t[portcullis];
    fill(pc, 0);
    for (int i = 1; i < 16; i += 3) {
        line(pc, i, 0, i, 15, 7);
        line(pc, 0, i, 15, i, 8);
    }
    for (int i = 1; i < 16; i += 3)
        put(pc, i, 15, 15);
    pic& pi = t[pillar];
    paint_stone_floor(pi);
    disc(pi, 8, 8, 5, 0);
    disc(pi, 7, 7, 5, 7);
    disc(pi, 6, 6, 2, 15);
    paint_brick_floor(t[brick_floor]);
    pic& dr = t[door];
    wood_planks(dr, true);
    frame(dr, 0, 0, 15, 15, 8);
    disc(dr, 12, 8, 1, 14);
    line(dr, 1, 2, 6, 2, 8);
    pic& bw = t[barred_window];
    paint_stone_wall(bw);
    rect(bw, 4, 3, 11, 12, 0);
    for (int x = 5; x < 12; x += 2)
        line(bw, x, 3, x, 12, 7);
    pic& su = t[stairs_up];
    fill(su, 8);
    for (int s = 0; s < 5; ++s) {
        int y = 12 - s * 3;
        rect(su, s * 2, y, 15, y + 2, s % 2 ? 7 : 15);
        line(su, s * 2, y + 2, 15, y + 2, 8);
    }
    line(su, 2, 4, 5, 1, 14);
    line(su, 5, 1, 5, 3, 14);
    line(su, 5, 1, 3, 1, 14);

    pic& dn = t[drawbridge_ns];
    wood_planks(dn, false);
    line(dn, 0, 0, 0, 15, 8);
    line(dn, 15, 0, 15, 15, 8);
    line(dn, 1, 0, 3, 3, 7);
    line(dn, 14, 0, 12, 3, 7);
    pic& de = t[drawbridge_ew];
    wood_planks(de, true);
    line(de, 0, 0, 15, 0, 8);
    line(de, 0, 15, 15, 15, 8);
    line(de, 0, 1, 3, 3, 7);
    line(de, 0, 14, 3, 12, 7);
}

void draw_furniture(tile_set& t)
{
    using namespace tile;
    const pic& floor = t[brick_floor];

    pic& co = t[counter];
    co = floor;
    rect(co, 0, 3, 15, 12, 6);
    line(co, 0, 3, 15, 3, 14);
    line(co, 0, 12, 15, 12, 0);
    line(co, 0, 11, 15, 11, 8);
    pic& cw = t[counter_wares];
    cw = co;
    disc(cw, 3, 6, 1, 12);
    rect(cw, 7, 5, 8, 9, 1);
    put(cw, 7, 5, 9);
    disc(cw, 12, 8, 1, 14);
    put(cw, 13, 6, 14);
    pic& pl = t[planter];
    pl = floor;
    rect(pl, 2, 8, 13, 14, 6);
    line(pl, 2, 8, 13, 8, 14);
    disc(pl, 6, 5, 3, 2);
    disc(pl, 10, 6, 2, 10);
    put(pl, 5, 4, 10);
    put(pl, 11, 3, 12);
    pic& ta = t[table];
    ta = floor;
    rect(ta, 1, 3, 14, 12, 6);
    line(ta, 1, 3, 14, 3, 14);
    line(ta, 1, 12, 14, 12, 0);
    for (int x : {4, 9})
        line(ta, x, 4, x + 2, 4, 14);
    pic& tf = t[table_food];
    tf = ta;
    disc(tf, 5, 7, 2, 15);
    put(tf, 5, 7, 12);
    put(tf, 4, 8, 14);
    disc(tf, 11, 8, 1, 15);
    put(tf, 11, 8, 2);
    rect(tf, 9, 4, 9, 6, 1);
    pic& bs = t[bookshelf];
    fill(bs, 6);
    for (int row = 0; row < 3; ++row) {
        int y = 1 + row * 5;
        for (int x = 1; x < 15; ++x) {
            int c = int(hash_xy(x, row, 79) % 6);
            int colours[6] = {4, 1, 2, 14, 5, 0};
            line(bs, x, y, x, y + 3, colours[c]);
        }
        line(bs, 0, y + 4, 15, y + 4, 8);
    }
    pic& ba = t[barrel];
    ba = floor;
    disc(ba, 8, 8, 6, 6);
    ring(ba, 8, 8, 6, 8);
    ring(ba, 8, 8, 3, 8);
    put(ba, 6, 6, 14);
    pic& cr = t[crate];
    cr = floor;
    rect(cr, 2, 2, 13, 13, 6);
    frame(cr, 2, 2, 13, 13, 14);
    line(cr, 2, 2, 13, 13, 14);
    line(cr, 13, 2, 2, 13, 8);
    pic& an = t[anvil];
    paint_stone_floor(an);
    rect(an, 6, 9, 10, 14, 6);
    rect(an, 2, 5, 13, 8, 8);
    rect(an, 0, 5, 2, 6, 8);
    line(an, 3, 5, 13, 5, 7);
    pic& ch = t[chest];
    ch = floor;
    rect(ch, 2, 4, 13, 12, 6);
    line(ch, 2, 4, 13, 4, 14);
    line(ch, 5, 4, 5, 12, 14);
    line(ch, 10, 4, 10, 12, 14);
    rect(ch, 7, 7, 8, 9, 14);
    put(ch, 7, 8, 0);
    pic& fo = t[fountain];
    paint_stone_floor(fo);
    disc(fo, 8, 8, 7, 7);
    disc(fo, 8, 8, 5, 9);
    disc(fo, 8, 8, 1, 15);
    for (auto [dx, dy] : {std::pair{-3, -2}, {3, -1}, {-1, 3}, {2, 3}})
        put(fo, 8 + dx, 8 + dy, 11);
    pic& tr = t[trough];
    tr = t[dirt_floor];
    rect(tr, 1, 4, 14, 11, 6);
    rect(tr, 2, 5, 13, 10, 1);
    line(tr, 3, 7, 7, 7, 9);
    pic& al = t[altar];
    paint_stone_floor(al);
    rect(al, 2, 5, 13, 12, 7);
    rect(al, 2, 5, 13, 7, 15);
    line(al, 2, 12, 13, 12, 8);
    line(al, 4, 2, 4, 5, 14);
    put(al, 4, 1, 12);
    line(al, 11, 3, 11, 5, 14);
    put(al, 11, 2, 12);
    pic& ff = t[fire_field];
    fill(ff, 0);
    for (int i = 0; i < 6; ++i) {
        int x = 1 + i * 3 - (i % 2), base = 15 - (i % 3);
        line(ff, x, base, x + 1, base - 7 - i % 3, 4);
        line(ff, x + 1, base, x + 1, base - 5, 12);
        put(ff, x + 1, base - 2, 14);
    }

    block_wall(t[rough_wall], 8, 0, 7, 0, 3, 7);
    block_wall(t[dark_wall], 8, 0, 7, 1, 4, 8);
    pic& tu = t[turret];
    fill(tu, 0);
    disc(tu, 8, 8, 7, 8);
    disc(tu, 8, 8, 5, 7);
    for (int a = 0; a < 8; ++a) {
        double ang = a * 3.14159265 / 4;
        put(tu, 8 + int(std::lround(6 * std::cos(ang))), 8 + int(std::lround(6 * std::sin(ang))), 15);
    }
    disc(tu, 8, 8, 1, 8);
    pic& bt = t[battlement];
    fill(bt, 8);
    for (int x = 0; x < 16; x += 4)
        rect(bt, x, 0, x + 1, 5, 7);
    rect(bt, 0, 6, 15, 9, 7);
    line(bt, 0, 6, 15, 6, 15);
    pic& sg = t[stained_glass];
    paint_stone_wall(sg);
    rect(sg, 4, 2, 11, 13, 0);
    rect(sg, 5, 3, 7, 7, 12);
    rect(sg, 8, 3, 10, 7, 9);
    rect(sg, 5, 8, 7, 12, 14);
    rect(sg, 8, 8, 10, 12, 13);
    pic& bn = t[banner_wall];
    paint_stone_wall(bn);
    rect(bn, 4, 0, 11, 12, 1);
    line(bn, 4, 13, 7, 15, 1);
    line(bn, 11, 13, 8, 15, 1);
    disc(bn, 7, 6, 2, 14);
    put(bn, 9, 3, 14);
    pic& hc = t[hatch_closed];
    paint_stone_floor(hc);
    rect(hc, 3, 3, 12, 12, 6);
    line(hc, 3, 7, 12, 7, 0);
    ring(hc, 10, 10, 1, 14);
    pic& ov = t[ore_vein];
    rock_wall(ov, 7, 15, 8, 95);
    line(ov, 1, 12, 12, 3, 14);
    speckle(ov, 11, 5, 96);
}

// The backrest of a chair seen from above: 0 at the bottom, 1 left,
// 2 top, 3 right.
void area_back(pic& c, int side)
{
    switch (side) {
    case 0: rect(c, 2, 11, 13, 14, 0); rect(c, 3, 12, 12, 13, 14); break;
    case 1: rect(c, 1, 2, 4, 13, 0); rect(c, 2, 3, 3, 12, 14); break;
    case 2: rect(c, 2, 1, 13, 4, 0); rect(c, 3, 2, 12, 3, 14); break;
    default: rect(c, 11, 2, 14, 13, 0); rect(c, 12, 3, 13, 12, 14); break;
    }
}

void draw_beds_and_seats(tile_set& t)
{
    using namespace tile;
    const pic& floor = t[brick_floor];
    pic& b1 = t[bed_head_up];
    b1 = floor;
    rect(b1, 2, 0, 13, 15, 6);
    rect(b1, 3, 1, 12, 14, 1);
    rect(b1, 4, 1, 11, 4, 15);
    line(b1, 3, 5, 12, 5, 9);
    line(b1, 3, 10, 12, 10, 9);
    pic& b2 = t[bed_head_left];
    b2 = floor;
    rect(b2, 0, 2, 15, 13, 6);
    rect(b2, 1, 3, 14, 12, 4);
    rect(b2, 1, 4, 4, 11, 15);
    line(b2, 5, 3, 5, 12, 12);
    line(b2, 10, 3, 10, 12, 12);

    pic& pu = t[pew_up];
    pu = floor;
    rect(pu, 1, 5, 14, 9, 6);
    rect(pu, 1, 10, 14, 12, 0);
    line(pu, 1, 5, 14, 5, 14);
    rect(pu, 0, 4, 0, 13, 8);
    pic& pd = t[pew_down];
    pd = floor;
    rect(pd, 1, 6, 14, 10, 6);
    rect(pd, 1, 3, 14, 5, 0);
    line(pd, 1, 10, 14, 10, 14);
    rect(pd, 15, 2, 15, 11, 8);
    checker(t[kitchen_floor], 15, 8, 4);
    pic& lp = t[lamp];
    lp = floor;
    disc(lp, 8, 13, 2, 8);
    line(lp, 8, 6, 8, 12, 8);
    disc(lp, 8, 4, 3, 14);
    disc(lp, 8, 4, 1, 15);
    put(lp, 11, 2, 14);
    pic& ss = t[shop_sign];
    paint_grass(ss, 136);
    line(ss, 2, 1, 2, 15, 6);
    line(ss, 2, 2, 14, 2, 6);
    rect(ss, 6, 4, 14, 10, 14);
    frame(ss, 6, 4, 14, 10, 6);
    disc(ss, 10, 7, 1, 4);
    pic& wr = t[wardrobe];
    wr = floor;
    rect(wr, 1, 1, 14, 14, 6);
    line(wr, 8, 1, 8, 14, 0);
    frame(wr, 1, 1, 14, 14, 14);
    put(wr, 6, 8, 14);
    put(wr, 10, 8, 14);
    pic& pp = t[potted_plant];
    pp = floor;
    rect(pp, 5, 10, 10, 14, 4);
    disc(pp, 7, 6, 3, 2);
    disc(pp, 9, 4, 2, 10);
    put(pp, 6, 3, 10);
    pic& fs = t[flagstones];
    fill(fs, 0);
    for (int i = 0; i < 6; ++i) {
        int x0 = (i % 3) * 5 + (i / 3), y0 = (i / 3) * 8;
        rect(fs, x0, y0, x0 + 3, y0 + 6, 8);
        put(fs, x0, y0, 7);
    }
    pic& df = t[dirt_floor];
    checker(df, 6, 0, 1);
    speckle(df, 8, 12, 140);
    pic& rb = t[rubble];
    paint_cave_floor(rb, 141);
    for (int i = 0; i < 6; ++i) {
        uint32_t h = hash_xy(i, 141, 141);
        disc(rb, int(h & 15), int((h >> 4) & 15), 1 + int((h >> 8) & 1), i % 2 ? 8 : 7);
    }
    pic& wi = t[wine_rack];
    fill(wi, 6);
    for (int y = 2; y < 16; y += 4)
        for (int x = 2; x < 16; x += 4) {
            disc(wi, x, y, 1, 0);
            put(wi, x, y, (x + y) % 8 ? 4 : 5);
        }
    pic& ho = t[hatch_open];
    paint_stone_floor(ho);
    rect(ho, 3, 3, 12, 12, 0);
    for (int y = 4; y < 12; y += 2)
        line(ho, 5, y, 10, y, 6);
    line(ho, 3, 2, 12, 2, 6);

    // Chairs: the backrest is on the side away from where the sitter looks.
    for (int dir = 0; dir < 4; ++dir) {
        pic& c = t[size_t(chair_up + dir)];
        c = floor;
        rect(c, 3, 3, 12, 12, 0);
        rect(c, 4, 4, 11, 11, 14);
        rect(c, 5, 5, 10, 10, 6);
        area_back(c, dir);
    }
    pic& sv = t[stove];
    sv = t[kitchen_floor];
    rect(sv, 1, 1, 14, 14, 8);
    rect(sv, 3, 8, 12, 13, 0);
    disc(sv, 7, 11, 1, 12);
    put(sv, 9, 11, 14);
    ring(sv, 5, 4, 2, 0);
    ring(sv, 11, 4, 2, 0);
    pic& ca = t[cauldron];
    ca = t[kitchen_floor];
    disc(ca, 8, 8, 6, 0);
    disc(ca, 8, 7, 4, 10);
    put(ca, 7, 6, 15);
    put(ca, 10, 8, 2);
    line(ca, 3, 14, 12, 14, 12);
    pic& lo = t[loom];
    lo = t[planks];
    frame(lo, 2, 2, 13, 13, 6);
    for (int x = 4; x < 12; x += 2)
        line(lo, x, 3, x, 12, x % 4 ? 4 : 14);
    line(lo, 3, 8, 12, 8, 1);
    pic& ha = t[harp];
    ha = t[planks];
    line(ha, 4, 14, 4, 2, 14);
    line(ha, 4, 2, 12, 6, 14);
    line(ha, 12, 6, 12, 14, 6);
    line(ha, 4, 14, 12, 14, 14);
    for (int x = 6; x < 12; x += 2)
        line(ha, x, 4 + (x - 4) / 2, x, 13, 15);
    pic& wk = t[weapon_rack];
    wk = t[stone_floor];
    rect(wk, 1, 11, 14, 13, 6);
    for (int x = 3; x < 14; x += 3) {
        line(wk, x, 2, x, 11, 15);
        line(wk, x - 1, 9, x + 1, 9, 14);
    }
    pic& lf = t[lit_floor];
    lf = floor;
    for (size_t i = 0; i < 256; ++i) {
        int x = int(i % 16), y = int(i / 16);
        int d = (x - 8) * (x - 8) + (y - 4) * (y - 4);
        if (d < 30)
            lf[i] = lf[i] == 4 ? 14 : 12;
        else if (d < 70 && lf[i] == 4)
            lf[i] = 12;
    }

    // Tables: 154 is the north end (chairs above it look down onto it),
    // 155 the south end, 156 a round table on its own.
    pic& tt = t[table_top];
    tt = floor;
    rect(tt, 1, 3, 14, 15, 6);
    line(tt, 1, 3, 14, 3, 14);
    disc(tt, 5, 8, 1, 15);
    put(tt, 11, 7, 1);
    pic& tb = t[table_bottom];
    tb = floor;
    rect(tb, 1, 0, 14, 12, 6);
    line(tb, 1, 12, 14, 12, 0);
    disc(tb, 10, 6, 1, 15);
    put(tb, 4, 5, 12);
    pic& rt = t[round_table];
    rt = floor;
    disc(rt, 8, 8, 6, 6);
    ring(rt, 8, 8, 6, 14);
    disc(rt, 6, 7, 1, 15);
    put(rt, 10, 9, 12);
}

void draw_objects(tile_set& t)
{
    using namespace tile;
    const pic& floor = t[brick_floor];
    pic& as = t[armour_stand];
    as = t[stone_floor];
    disc(as, 8, 3, 2, 7);
    rect(as, 5, 6, 11, 11, 7);
    line(as, 5, 6, 5, 11, 15);
    rect(as, 7, 12, 9, 14, 6);
    line(as, 12, 6, 13, 10, 8);
    pic& de = t[desk];
    de = floor;
    rect(de, 1, 2, 14, 13, 6);
    rect(de, 3, 4, 8, 10, 15);
    line(de, 4, 6, 7, 6, 8);
    line(de, 4, 8, 6, 8, 8);
    put(de, 11, 5, 0);
    line(de, 11, 5, 13, 2, 15);
    pic& tp = t[tapestry];
    paint_stone_wall(tp);
    rect(tp, 2, 1, 13, 13, 5);
    frame(tp, 2, 1, 13, 13, 13);
    disc(tp, 8, 7, 2, 14);
    line(tp, 4, 11, 11, 11, 13);
    pic& th = t[throne];
    th = t[carpet];
    rect(th, 3, 1, 12, 14, 14);
    rect(th, 5, 5, 10, 13, 4);
    rect(th, 4, 1, 11, 3, 4);
    put(th, 4, 0, 14);
    put(th, 8, 0, 14);
    put(th, 11, 0, 14);
    pic& cl = t[clock];
    cl = floor;
    rect(cl, 4, 0, 11, 15, 6);
    disc(cl, 8, 4, 3, 15);
    line(cl, 8, 4, 8, 2, 0);
    line(cl, 8, 4, 10, 4, 0);
    line(cl, 8, 9, 7, 13, 14);
    disc(cl, 7, 13, 1, 14);
    pic& mi = t[mirror];
    mi = floor;
    rect(mi, 3, 1, 12, 14, 14);
    rect(mi, 4, 2, 11, 13, 11);
    line(mi, 5, 9, 9, 3, 15);
    line(mi, 7, 11, 10, 6, 15);
    pic& gs = t[gravestone];
    paint_grass(gs, 163);
    disc(gs, 8, 5, 4, 7);
    rect(gs, 4, 5, 12, 13, 7);
    line(gs, 6, 6, 10, 6, 8);
    line(gs, 8, 4, 8, 10, 8);
    line(gs, 3, 14, 13, 14, 6);
    pic& cd = t[candelabra];
    cd = floor;
    line(cd, 8, 5, 8, 14, 14);
    line(cd, 3, 9, 13, 9, 14);
    line(cd, 3, 6, 3, 9, 14);
    line(cd, 13, 6, 13, 9, 14);
    for (int x : {3, 8, 13}) {
        put(cd, x, 4 + (x == 8 ? -1 : 0), 15);
        put(cd, x, 3 + (x == 8 ? -1 : 0), 12);
    }
    pic& sk = t[sacks];
    sk = t[dirt_floor];
    disc(sk, 5, 9, 4, 14);
    disc(sk, 11, 7, 3, 6);
    line(sk, 4, 5, 6, 5, 6);
    put(sk, 11, 4, 14);
    pic& ml = t[millstone];
    ml = t[dirt_floor];
    disc(ml, 8, 8, 7, 7);
    ring(ml, 8, 8, 4, 8);
    disc(ml, 8, 8, 1, 0);
    line(ml, 8, 8, 15, 3, 6);
    pic& stk = t[stocks];
    paint_grass(stk, 167);
    rect(stk, 1, 5, 14, 9, 6);
    disc(stk, 4, 7, 1, 0);
    disc(stk, 8, 7, 1, 0);
    disc(stk, 12, 7, 0, 0);
    rect(stk, 2, 10, 3, 15, 6);
    rect(stk, 12, 10, 13, 15, 6);
    pic& cg = t[cage];
    cg = floor;
    rect(cg, 1, 1, 14, 14, 0);
    for (int x = 1; x < 16; x += 3)
        line(cg, x, 1, x, 14, 8);
    frame(cg, 1, 1, 14, 14, 7);
    pic& du = t[dummy];
    du = t[dirt_floor];
    line(du, 8, 6, 8, 15, 6);
    line(du, 3, 8, 13, 8, 6);
    disc(du, 8, 5, 4, 14);
    ring(du, 8, 5, 3, 4);
    disc(du, 8, 5, 1, 4);
    put(du, 8, 5, 15);

    pic& rg = t[rug];
    rg = floor;
    rect(rg, 1, 2, 14, 13, 5);
    frame(rg, 1, 2, 14, 13, 13);
    disc(rg, 8, 8, 2, 14);
    put(rg, 4, 5, 13);
    pic& ac = t[armchair];
    ac = floor;
    rect(ac, 2, 2, 13, 14, 4);
    rect(ac, 2, 1, 13, 4, 6);
    rect(ac, 2, 5, 3, 14, 6);
    rect(ac, 12, 5, 13, 14, 6);
    rect(ac, 5, 6, 10, 12, 12);
    pic& sl = t[stool];
    sl = floor;
    disc(sl, 8, 8, 3, 6);
    disc(sl, 7, 7, 1, 14);
    put(sl, 11, 11, 0);
    put(sl, 5, 11, 0);

    pic& pb = t[prison_bars];
    fill(pb, 0);
    for (int x = 1; x < 16; x += 3) {
        line(pb, x, 0, x, 15, 7);
        put(pb, x, 0, 15);
    }
    line(pb, 0, 3, 15, 3, 8);
    line(pb, 0, 12, 15, 12, 8);
    pic& rr = t[red_roof];
    fill(rr, 4);
    for (int y = 3; y < 16; y += 4) {
        line(rr, 0, y, 15, y, 0);
        for (int x = (y / 4) % 2 * 2; x < 16; x += 4)
            put(rr, x, y - 1, 12);
    }
    pic& tc = t[thatch];
    fill(tc, 14);
    for (int x = 0; x < 16; x += 2)
        line(tc, x, 0, x + 1, 15, 6);
    line(tc, 0, 15, 15, 15, 6);
    pic& trf = t[tower_roof];
    fill(trf, 0);
    for (int r = 7; r > 0; --r)
        disc(trf, 8, 8, r, r % 2 ? 1 : 9);
    line(trf, 8, 8, 8, 1, 11);
    put(trf, 8, 8, 15);
    pic& cy = t[chimney];
    cy = t[red_roof];
    rect(cy, 8, 7, 13, 13, 8);
    rect(cy, 9, 8, 12, 10, 0);
    disc(cy, 6, 3, 2, 7);
    disc(cy, 3, 1, 1, 7);
    pic& wt = t[wood_wall_torch];
    wt = t[wood_wall];
    rect(wt, 7, 8, 8, 14, 8);
    disc(wt, 8, 5, 2, 12);
    disc(wt, 8, 5, 1, 14);
    put(wt, 9, 2, 14);
    pic& gr = t[glowing_rock];
    rock_wall(gr, 7, 15, 8, 179);
    for (int i = 0; i < 4; ++i) {
        uint32_t h = hash_xy(i, 179, 179);
        disc(gr, int(h & 15), int((h >> 4) & 15), 1, 10);
    }
    pic& rw = t[rubble_wall];
    fill(rw, 0);
    for (int i = 0; i < 14; ++i) {
        uint32_t h = hash_xy(i, 180, 180);
        disc(rw, int(h & 15), int((h >> 4) & 15), 2, i % 3 ? 8 : 6);
        put(rw, int(h & 15) - 1, int((h >> 4) & 15) - 1, 7);
    }
    pic& dp = t[dock_post];
    paint_water(dp, 1, 9, 11, 181);
    disc(dp, 8, 8, 3, 6);
    ring(dp, 8, 8, 3, 14);
    line(dp, 11, 8, 15, 11, 14);
    pic& ne = t[net];
    ne = t[pier];
    for (int i = 0; i < 16; i += 3) {
        line(ne, i, 1, i + 4, 14, 15);
        line(ne, i + 4, 1, i, 14, 15);
    }
    pic& pt = t[pit];
    paint_cave_floor(pt, 183);
    disc(pt, 8, 8, 6, 8);
    disc(pt, 8, 9, 5, 0);
    pic& cs = t[crystals];
    paint_cave_floor(cs, 184);
    for (int i = 0; i < 4; ++i) {
        int x = 3 + i * 3, h = 5 + (i * 3) % 5;
        line(cs, x, 14, x + (i % 2) - 1, 14 - h, i % 2 ? 11 : 13);
        line(cs, x + 1, 14, x + (i % 2), 14 - h + 1, 15);
    }
    pic& mu = t[mushroom];
    paint_cave_floor(mu, 185);
    rect(mu, 7, 8, 9, 14, 7);
    disc(mu, 8, 5, 5, 13);
    rect(mu, 2, 7, 14, 8, 0);
    put(mu, 6, 3, 15);
    put(mu, 10, 5, 15);
    put(mu, 5, 6, 15);
    pic& bn = t[bones];
    paint_cave_floor(bn, 186);
    line(bn, 2, 4, 10, 12, 15);
    line(bn, 12, 3, 5, 13, 15);
    disc(bn, 12, 11, 2, 15);
    put(bn, 11, 11, 0);
    pic& cw = t[cobweb];
    fill(cw, 0);
    for (int i = 0; i < 5; ++i)
        line(cw, 0, 0, 15, i * 4, 7);
    for (int r = 5; r < 16; r += 5)
        for (int a = 0; a <= 8; ++a) {
            double ang = a * 3.14159265 / 16;
            put(cw, int(std::lround(r * std::cos(ang))), int(std::lround(r * std::sin(ang))), 8);
        }
    pic& lc = t[lava_crust];
    fill(lc, 8);
    speckle(lc, 0, 30, 188);
    line(lc, 0, 5, 8, 7, 4);
    line(lc, 8, 7, 15, 4, 4);
    line(lc, 8, 7, 9, 15, 12);
    pic& cz = t[chasm];
    fill(cz, 0);
    line(cz, 0, 2, 15, 1, 8);
    line(cz, 0, 3, 15, 3, 8);
    speckle(cz, 8, 4, 189);
    pic& bc = t[broken_column];
    paint_cave_floor(bc, 190);
    disc(bc, 7, 8, 4, 7);
    disc(bc, 6, 7, 2, 15);
    disc(bc, 13, 13, 1, 7);
    pic& ob = t[obelisk];
    paint_grass(ob, 191);
    rect(ob, 6, 2, 9, 14, 8);
    line(ob, 6, 2, 6, 14, 7);
    put(ob, 7, 1, 8);
    put(ob, 8, 1, 8);
    pic& cf = t[campfire];
    paint_grass(cf, 192);
    line(cf, 3, 12, 12, 9, 6);
    line(cf, 3, 9, 12, 12, 6);
    disc(cf, 8, 8, 2, 12);
    put(cf, 8, 6, 14);
    put(cf, 9, 5, 14);
    pic& te = t[tent];
    paint_grass(te, 193);
    for (int k = 0; k < 10; ++k)
        line(te, 8 - k * 6 / 10, 3 + k, 8 + k * 7 / 10, 3 + k, k % 2 ? 4 : 12);
    line(te, 8, 8, 8, 12, 0);
    pic& sh = t[ship];
    paint_water(sh, 1, 9, 11, 194);
    rect(sh, 2, 9, 13, 12, 6);
    line(sh, 1, 9, 3, 12, 6);
    line(sh, 14, 9, 12, 12, 6);
    line(sh, 7, 1, 7, 9, 8);
    rect(sh, 8, 2, 12, 7, 15);
    put(sh, 7, 0, 12);
    pic& sf = t[skiff];
    paint_water(sf, 1, 9, 11, 195);
    rect(sf, 4, 6, 11, 9, 6);
    line(sf, 3, 7, 3, 8, 6);
    line(sf, 12, 8, 14, 6, 6);
    line(sf, 5, 7, 10, 7, 14);
}

void draw_passages(tile_set& t)
{
    using namespace tile;
    pic& lu = t[ladder_up];
    paint_stone_floor(lu);
    line(lu, 4, 0, 4, 15, 6);
    line(lu, 11, 0, 11, 15, 6);
    for (int y = 1; y < 16; y += 3)
        line(lu, 5, y, 10, y, 14);
    line(lu, 13, 3, 13, 0, 15);
    pic& ld = t[ladder_down];
    paint_stone_floor(ld);
    rect(ld, 2, 2, 13, 13, 0);
    line(ld, 4, 2, 4, 13, 6);
    line(ld, 11, 2, 11, 13, 6);
    for (int y = 4; y < 13; y += 3)
        line(ld, 5, y, 10, y, 6);
    pic& sd = t[stairs_down];
    fill(sd, 0);
    for (int s = 0; s < 5; ++s)
        rect(sd, 0, s * 3, 15 - s * 2, s * 3 + 2, s < 2 ? 7 : 8);
    pic& pr = t[pier];
    wood_planks(pr, false);
    line(pr, 0, 15, 15, 15, 1);
    line(pr, 0, 0, 0, 15, 8);
    pic& sw = t[straw];
    sw = t[dirt_floor];
    for (int i = 0; i < 24; ++i) {
        uint32_t h = hash_xy(i, 200, 200);
        int x = 2 + int(h % 11), y = 3 + int((h >> 4) % 10);
        line(sw, x, y, x + 2, y + int((h >> 8) % 3) - 1, i % 3 ? 14 : 6);
    }
    pic& pm = t[prayer_mat];
    paint_stone_floor(pm);
    rect(pm, 3, 1, 12, 14, 1);
    frame(pm, 3, 1, 12, 14, 14);
    disc(pm, 8, 4, 1, 14);
    line(pm, 5, 10, 10, 10, 9);
}

void draw_outdoor_objects(tile_set& t)
{
    using namespace tile;
    pic& rb = t[rose_bush];
    paint_grass(rb, 202);
    disc(rb, 8, 8, 6, 2);
    speckle(rb, 10, 10, 203);
    for (auto [x, y] : {std::pair{5, 5}, {10, 6}, {7, 10}, {11, 11}, {4, 9}})
        put(rb, x, y, 12);
    pic& hs = t[haystack];
    paint_grass(hs, 203);
    disc(hs, 8, 9, 6, 14);
    for (int x = 3; x < 14; x += 2)
        line(hs, x, 6, x + 1, 14, 6);
    pic& wp = t[woodpile];
    paint_grass(wp, 204);
    for (int row = 0; row < 3; ++row)
        for (int k = 0; k < 3 - row; ++k) {
            int cx = 4 + k * 4 + row * 2, cy = 12 - row * 4;
            disc(wp, cx, cy, 2, 6);
            put(wp, cx, cy, 14);
        }
    pic& ca = t[cart];
    ca = t[road];
    rect(ca, 2, 4, 11, 10, 6);
    frame(ca, 2, 4, 11, 10, 14);
    disc(ca, 4, 12, 2, 8);
    disc(ca, 10, 12, 2, 8);
    line(ca, 11, 7, 15, 7, 6);
    pic& lp = t[lamp_post];
    lp = t[cobbles];
    disc(lp, 8, 14, 1, 0);
    line(lp, 8, 5, 8, 14, 0);
    rect(lp, 6, 1, 10, 4, 14);
    frame(lp, 6, 1, 10, 4, 0);
    put(lp, 8, 2, 15);
    pic& sc = t[scarecrow];
    sc = t[crops];
    line(sc, 8, 4, 8, 15, 6);
    line(sc, 3, 7, 13, 6, 6);
    disc(sc, 8, 3, 2, 14);
    rect(sc, 6, 7, 10, 11, 4);
    rect(sc, 5, 0, 11, 1, 0);

    pic& sc2 = t[stone_column];
    paint_cave_floor(sc2, 212);
    disc(sc2, 8, 8, 5, 8);
    disc(sc2, 7, 7, 4, 7);
    put(sc2, 5, 5, 15);
    pic& cf = t[crystal_floor];
    paint_cave_floor(cf, 213);
    for (auto [x, y] : {std::pair{4, 4}, {11, 6}, {6, 11}, {12, 12}}) {
        line(cf, x, y - 2, x, y + 1, 11);
        put(cf, x - 1, y, 13);
        put(cf, x + 1, y - 1, 15);
    }
    pic& gf = t[glow_fungus];
    paint_cave_floor(gf, 214);
    for (int i = 0; i < 7; ++i) {
        uint32_t h = hash_xy(i, 214, 214);
        int x = int(h & 15), y = int((h >> 4) & 15);
        put(gf, x, y, 10);
        put(gf, x, y - 1, 14);
    }
    pic& rp = t[rock_pile];
    paint_cave_floor(rp, 215);
    disc(rp, 6, 9, 4, 8);
    disc(rp, 10, 10, 3, 7);
    disc(rp, 7, 5, 2, 7);
    put(rp, 9, 8, 15);
    pic& bp = t[bone_pile];
    paint_cave_floor(bp, 216);
    for (int i = 0; i < 5; ++i) {
        uint32_t h = hash_xy(i, 216, 216);
        int x = 2 + int(h % 10), y = 3 + int((h >> 4) % 9);
        line(bp, x, y, x + 3, y + 1 - int((h >> 8) % 3), 15);
    }
    disc(bp, 8, 8, 2, 15);
    put(bp, 7, 8, 0);
    put(bp, 9, 8, 0);
    pic& ig = t[iron_grate];
    fill(ig, 0);
    for (int i = 1; i < 16; i += 4) {
        line(ig, i, 0, i, 15, 8);
        line(ig, 0, i, 15, i, 8);
    }
    frame(ig, 0, 0, 15, 15, 7);
    pic& lv = t[lava_vent];
    paint_cave_floor(lv, 218);
    disc(lv, 8, 8, 5, 4);
    disc(lv, 8, 8, 3, 12);
    disc(lv, 7, 7, 1, 14);
    pic& os = t[obsidian];
    fill(os, 0);
    for (int i = 0; i < 5; ++i)
        line(os, i * 4, 0, i * 4 - 6, 15, 5);
    speckle(os, 1, 20, 219);
    put(os, 3, 4, 15);

    pic& mg = t[moon_gate];
    paint_grass(mg, 220);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int dx = x - 8, dy = y - 8;
            int d = dx * dx * 16 / 9 + dy * dy;
            if (d <= 56)
                put(mg, x, y, d < 20 ? 15 : (d < 38 ? 11 : 9));
            else if (d <= 72)
                put(mg, x, y, 1);
        }
    put(mg, 6, 5, 1);
    put(mg, 10, 11, 1);
    pic& rc = t[rune_circle];
    paint_stone_floor(rc);
    ring(rc, 8, 8, 6, 15);
    for (int a = 0; a < 6; ++a) {
        double ang = a * 3.14159265 / 3;
        put(rc, 8 + int(std::lround(4 * std::cos(ang))), 8 + int(std::lround(4 * std::sin(ang))), 11);
    }
    pic& bh = t[beehive];
    paint_grass(bh, 222);
    disc(bh, 8, 9, 5, 14);
    for (int y = 6; y < 15; y += 3)
        line(bh, 3, y, 13, y, 6);
    rect(bh, 7, 12, 8, 13, 0);
    put(bh, 12, 3, 0);
    put(bh, 13, 4, 14);
    pic& bb = t[birdbath];
    paint_grass(bb, 223);
    disc(bb, 8, 8, 5, 7);
    disc(bb, 8, 8, 3, 9);
    put(bb, 7, 7, 15);
    rect(bb, 11, 2, 12, 3, 8);

    // Shop signs: a board with a picture.
    for (int k = 0; k < 4; ++k) {
        pic& s = t[size_t(inn_sign + k)];
        s = t[cobbles];
        line(s, 1, 0, 1, 15, 6);
        line(s, 1, 1, 14, 1, 6);
        rect(s, 3, 3, 14, 13, 6);
        frame(s, 3, 3, 14, 13, 14);
        switch (k) {
        case 0:  // mug
            rect(s, 6, 6, 10, 11, 14);
            ring(s, 11, 8, 1, 14);
            line(s, 6, 6, 10, 6, 15);
            break;
        case 1:  // shield
            rect(s, 6, 5, 11, 9, 7);
            line(s, 6, 10, 8, 12, 7);
            line(s, 11, 10, 9, 12, 7);
            line(s, 8, 5, 8, 11, 1);
            break;
        case 2:  // star
            line(s, 8, 4, 8, 12, 13);
            line(s, 4, 8, 12, 8, 13);
            line(s, 5, 5, 11, 11, 11);
            line(s, 11, 5, 5, 11, 11);
            break;
        default:  // heart
            disc(s, 7, 7, 1, 4);
            disc(s, 10, 7, 1, 4);
            for (int y = 8; y < 12; ++y)
                line(s, 6 + (y - 8), y, 11 - (y - 8), y, 4);
            break;
        }
    }

    pic& wm = t[windmill];
    paint_grass(wm, 232);
    disc(wm, 8, 9, 4, 7);
    line(wm, 2, 2, 14, 14, 6);
    line(wm, 14, 2, 2, 14, 6);
    rect(wm, 2, 2, 4, 3, 15);
    disc(wm, 8, 8, 1, 0);
    pic& wt = t[watchtower];
    paint_grass(wt, 233);
    rect(wt, 4, 3, 11, 13, 8);
    frame(wt, 4, 3, 11, 13, 7);
    rect(wt, 6, 5, 9, 11, 6);
    line(wt, 3, 2, 12, 2, 7);
    pic& cn = t[cairn];
    paint_grass(cn, 234);
    disc(cn, 8, 11, 4, 8);
    disc(cn, 7, 8, 3, 7);
    disc(cn, 8, 5, 2, 8);
    put(cn, 7, 4, 15);
    pic& dt = t[dead_tree];
    fill(dt, 6);
    speckle(dt, 14, 14, 235);
    line(dt, 8, 15, 8, 5, 0);
    line(dt, 8, 8, 3, 3, 0);
    line(dt, 8, 6, 13, 1, 0);
    line(dt, 5, 5, 5, 2, 0);
    pic& ct = t[cactus];
    fill(ct, 14);
    speckle(ct, 6, 10, 236);
    rect(ct, 7, 3, 9, 14, 2);
    rect(ct, 3, 6, 4, 9, 2);
    line(ct, 4, 9, 6, 9, 2);
    rect(ct, 12, 4, 13, 7, 2);
    line(ct, 10, 7, 12, 7, 2);
    line(ct, 8, 4, 8, 13, 10);
    pic& vo = t[volcano];
    vo = t[mountains];
    rect(vo, 4, 2, 6, 3, 4);
    put(vo, 5, 2, 12);
    put(vo, 4, 0, 12);
    put(vo, 6, 1, 14);
    pic& wpool = t[whirlpool];
    paint_water(wpool, 1, 9, 11, 238);
    for (int k = 0; k < 40; ++k) {
        double a = k * 0.45, r = k * 0.17;
        put(wpool, 8 + int(std::lround(r * std::cos(a))), 8 + int(std::lround(r * std::sin(a))), 11);
    }
    put(wpool, 8, 8, 0);
    pic& sr = t[sea_rock];
    paint_water(sr, 1, 9, 11, 239);
    disc(sr, 7, 8, 5, 8);
    disc(sr, 6, 7, 3, 7);
    line(sr, 3, 13, 11, 13, 15);
    put(sr, 5, 5, 15);

    for (int k = 0; k < 16; ++k) {
        pic& rs = t[size_t(rune_stone + k)];
        paint_stone_wall(rs);
        rect(rs, 3, 2, 12, 13, 8);
        uint32_t bits = hash_xy(k, 240, 240);
        for (int i = 0; i < 9; ++i)
            if (bits & (1u << i)) {
                int x = 4 + (i % 3) * 3, y = 3 + (i / 3) * 3;
                rect(rs, x, y, x + 1, y + 1, 14);
            }
        line(rs, 3, 13, 12, 13, 0);
    }
}

// ------------------------------------------------------------ figures

struct figure {
    int hair = 6, skin = 12, top = 1, legs = 8, feet = 0;
    enum hat_kind { no_hat, helmet, pointy, straw_hat, crown, hood, cap, motley } hat = no_hat;
    enum item_kind {
        no_item, spear, sword, staff, bag, lute, fork, sceptre, stick, shield_sword, book, hammer, basket, ball
    } item = no_item;
    int item_colour = 7;
    bool dress = false, small = false, back = false;
};

constexpr std::array<std::string_view, 16> front_body = {
    "................",
    "......hhhh......",
    ".....hhhhhh.....",
    ".....hsssshh....",
    ".....sesses.....",
    "......ssss......",
    "....tttttttt....",
    "...tttttttttt...",
    "...tt.tttt.tt...",
    "...kk.tttt.kk...",
    "......tttt......",
    "......LLLL......",
    "......L..L......",
    "......L..L......",
    ".....ff..ff.....",
    "................",
};

constexpr std::array<std::string_view, 16> child_body = {
    "................",
    "................",
    "................",
    "................",
    "......hhhh......",
    "......hssh......",
    "......esse......",
    ".......ss.......",
    ".....tttttt.....",
    "....kttttttk....",
    "......tttt......",
    "......L..L......",
    "......L..L......",
    ".....ff..ff.....",
    "................",
    "................",
};

void draw_figure(pic& p, const figure& f)
{
    const auto& body = f.small ? child_body : front_body;
    int eyes = f.back ? f.hair : 0, face = f.back ? f.hair : f.skin;
    art(p, body,
        {{'h', f.hair}, {'s', face}, {'e', eyes}, {'t', f.top}, {'k', f.skin}, {'L', f.legs},
         {'f', f.feet == 0 ? 8 : f.feet}});
    if (f.dress && !f.small) {
        rect(p, 5, 10, 10, 11, f.top);
        rect(p, 4, 12, 11, 13, f.top);
        line(p, 5, 14, 6, 14, 8);
        line(p, 9, 14, 10, 14, 8);
    }
    int top = f.small ? 4 : 1;
    switch (f.hat) {
    case figure::helmet:
        rect(p, 5, top, 10, top + 1, 7);
        line(p, 5, top + 2, 5, top + 3, 7);
        line(p, 10, top + 2, 10, top + 3, 7);
        put(p, 6, top, 15);
        break;
    case figure::pointy:
        for (int k = 0; k < 3; ++k)
            line(p, 7 - k, top + k - 1, 8 + k, top + k - 1, f.top);
        line(p, 4, top + 2, 11, top + 2, f.top);
        put(p, 9, top - 1, 14);
        break;
    case figure::straw_hat:
        line(p, 3, top + 2, 12, top + 2, 14);
        rect(p, 6, top, 9, top + 1, 14);
        line(p, 6, top + 1, 9, top + 1, 4);
        break;
    case figure::crown:
        line(p, 5, top, 10, top, 14);
        put(p, 5, top - 1, 14);
        put(p, 8, top - 1, 14);
        put(p, 10, top - 1, 14);
        put(p, 7, top, 12);
        break;
    case figure::hood:
        rect(p, 5, top, 10, top + 1, f.top);
        line(p, 4, top + 2, 4, top + 5, f.top);
        line(p, 11, top + 2, 11, top + 5, f.top);
        break;
    case figure::cap:
        rect(p, 5, top, 10, top + 1, 4);
        line(p, 10, top, 13, top - 1, 15);
        break;
    case figure::motley:
        rect(p, 5, top, 7, top + 1, 4);
        rect(p, 8, top, 10, top + 1, 14);
        put(p, 4, top - 1, 14);
        put(p, 11, top - 1, 4);
        break;
    case figure::no_hat: break;
    }
    const int hy = 9;  // hand row
    switch (f.item) {
    case figure::spear:
        line(p, 12, 0, 12, 14, 6);
        put(p, 12, 0, 15);
        put(p, 12, 1, 7);
        break;
    case figure::sword:
        line(p, 13, hy - 6, 13, hy - 1, 15);
        line(p, 12, hy, 14, hy, 14);
        break;
    case figure::staff:
        line(p, 13, 2, 13, 15, 6);
        disc(p, 13, 1, 1, f.item_colour);
        break;
    case figure::bag:
        disc(p, 13, hy + 2, 1, 14);
        put(p, 13, hy + 1, 6);
        break;
    case figure::lute:
        disc(p, 3, hy + 1, 1, 6);
        line(p, 4, hy, 7, hy - 3, 14);
        break;
    case figure::fork:
        line(p, 13, 2, 13, 15, 6);
        put(p, 12, 1, 7);
        put(p, 14, 1, 7);
        put(p, 13, 1, 7);
        put(p, 12, 0, 7);
        put(p, 14, 0, 7);
        break;
    case figure::sceptre:
        line(p, 13, hy - 4, 13, hy + 1, 14);
        disc(p, 13, hy - 5, 0, 12);
        break;
    case figure::stick:
        line(p, 13, hy - 1, 15, 15, 6);
        break;
    case figure::shield_sword:
        rect(p, 1, 7, 4, 11, f.item_colour);
        line(p, 2, 12, 3, 12, f.item_colour);
        put(p, 2, 8, 15);
        line(p, 13, 3, 13, 8, 15);
        line(p, 12, 9, 14, 9, 14);
        break;
    case figure::book:
        rect(p, 12, hy - 1, 14, hy + 1, 4);
        put(p, 12, hy, 15);
        break;
    case figure::hammer:
        line(p, 13, hy - 3, 13, hy + 1, 6);
        rect(p, 12, hy - 4, 14, hy - 3, 8);
        break;
    case figure::basket:
        rect(p, 1, hy, 3, hy + 2, 6);
        line(p, 1, hy - 1, 3, hy - 1, 14);
        put(p, 2, hy, 12);
        break;
    case figure::ball:
        disc(p, 13, hy + 2, 1, 12);
        put(p, 13, hy + 1, 15);
        break;
    case figure::no_item: break;
    }
}

// Four colourings per human kind: the low two bits of the kind pick one.
constexpr int variant_colours[4][2] = {{1, 9}, {4, 12}, {2, 10}, {5, 13}};

figure human_of_kind(int kind)
{
    figure f;
    int v = kind & 3;
    int main = variant_colours[v][0], light = variant_colours[v][1];
    int hairs[4] = {6, 8, 14, 4};
    f.hair = hairs[v];
    int base = kind & ~3;
    switch (base) {
    case 64: f.top = 6; f.legs = main; f.item = figure::bag; break;                        // merchant
    case 68: f.top = 8; f.legs = main; f.hat = figure::helmet; f.item = figure::spear; break;  // guard
    case 72: f.top = main; f.legs = 6; f.item = figure::hammer; break;                     // townsman
    case 76: f.top = light; f.dress = true; f.item = figure::basket; break;                // townswoman
    case 80: f.top = light; f.legs = main; f.hat = figure::cap; f.item = figure::lute; break;  // bard
    case 84: f.top = main; f.legs = main; f.hat = figure::pointy; f.item = figure::staff; f.item_colour = 11; break;
    case 88: f.top = 5 + (v & 1) * 8; f.legs = 4; f.hat = figure::crown; f.item = figure::book; break;
    case 92: f.top = light; f.legs = 6; f.small = true; f.item = figure::ball; break;      // child
    case 104: f.top = 2; f.legs = 6; f.hat = figure::straw_hat; f.item = figure::fork; break;  // farmer
    case 108: f.top = v & 1 ? 6 : 8; f.legs = f.top; f.hat = figure::hood; f.dress = true; f.item = figure::book; break;
    case 112: f.top = v & 1 ? 14 : 4; f.legs = v & 1 ? 4 : 14; f.hat = figure::motley; break;  // jester
    case 116: f.top = 8; f.legs = 6; f.hair = 8; f.item = figure::stick; break;              // beggar
    case 120: f.top = 7; f.legs = 8; f.hat = figure::helmet; f.item = figure::shield_sword; f.item_colour = main; break;
    case 124: f.top = 4; f.legs = 5; f.hat = figure::crown; f.item = figure::sceptre; break;  // ruler
    default: f.top = main; f.legs = 8; break;
    }
    return f;
}

bool is_human_kind(int kind) { return (kind >= 64 && kind <= 95) || (kind >= 104 && kind <= 127); }

void draw_creature(pic& p, int kind, const tile_set& t)
{
    switch (kind) {
    case 1:  // dog
        art(p, {"................", "................", "................", "..........bb....",
                ".........bbbbb..", ".........bebbbb.", "..t......bbbb...", "..tbbbbbbbbb....",
                "...bbbbbbbbb....", "...bbbbbbbbb....", "...b.b...b.b....", "...b.b...b.b....",
                "...b.b...b.b....", "..bb.bb.bb.bb...", "................", "................"},
            {{'b', 6}, {'e', 15}, {'t', 6}});
        put(p, 14, 5, 0);
        line(p, 4, 8, 9, 8, 14);
        break;
    case 2:  // cat
        art(p, {"................", "................", "................", "................",
                "........c...c...", "........cc.cc...", "........ccccc...", "........cecec...",
                "........ccpcc...", "..t......ccc....", "..t.....ccccc...", "...t...ccccccc..",
                "....tcccccccc...", "......ccccccc...", "......cc...cc...", "................"},
            {{'c', 7}, {'e', 10}, {'p', 12}, {'t', 7}});
        line(p, 8, 11, 12, 11, 8);
        line(p, 8, 13, 12, 13, 8);
        break;
    case 3:  // horse
        art(p, {"................", "............mm..", "...........mhhh.", "..........mhhehh",
                "..........mhh.hh", "..........mhh...", "..ttbbbbbbbhh...", ".tt.bbbbbbbbh...",
                ".t..bbbbbbbbb...", "....bbbbbbbbb...", "....bb.b..b.bb..", "....b..b..b..b..",
                "....b..b..b..b..", "....b..b..b..b..", "...ff.ff.ff.ff..", "................"},
            {{'b', 6}, {'h', 6}, {'m', 0}, {'t', 8}, {'e', 15}, {'f', 8}});
        line(p, 10, 1, 10, 6, 14);
        line(p, 1, 7, 3, 6, 14);
        break;
    case 4:  // sheep
        art(p, {"................", "................", "................", "................",
                "....wwwwwww.....", "...wwwwwwwwwhh..", "..wwwwwwwwwwhhhh", "..wwwwwwwwwwhehh",
                "..wwwwwwwwwwhh..", "...wwwwwwwwww...", "....ww....ww....", "....ll....ll....",
                "....ll....ll....", "....ll....ll....", "................", "................"},
            {{'w', 15}, {'h', 8}, {'e', 0}, {'l', 8}});
        speckle(p, 7, 5, 260);
        break;
    case 5:  // chicken
        art(p, {"................", "................", "................", "................",
                "..........rr....", ".........wwww...", ".........wewwy..", ".........wwwwyy.",
                "...w.....wwww...", "...wwwwwwwwww...", "....wwwwwwwww...", ".....wwwwwww....",
                "......wwwww.....", ".......y..y.....", "......yy.yy.....", "................"},
            {{'w', 15}, {'r', 12}, {'e', 0}, {'y', 14}});
        break;
    case 6:  // goat
        art(p, {"................", "..........h.h...", "..........hh.h..", "..........gggg..",
                "..........gegg..", "...........gg...", "..tggggggggg....", "...ggggggggg....",
                "...gggggggg.....", "...g.g...g.g....", "...g.g...g.g....", "...g.g...g.g....",
                "..gg.gg.gg.gg...", "................", "................", "................"},
            {{'g', 7}, {'h', 8}, {'e', 0}, {'t', 7}});
        line(p, 11, 6, 11, 8, 15);
        break;
    case 27:  // rat
        art(p, {"................", "................", "................", "................",
                "................", "................", "................", "..........rr....",
                "......rrrrrrrr..", "....rrrrrrrrrer.", "...rrrrrrrrrrrrp", "ttt.rrrrrrrr....",
                "t....r..r..r....", "................", "................", "................"},
            {{'r', 8}, {'e', 12}, {'p', 13}, {'t', 13}});
        break;
    case 28:  // gargoyle
        art(p, {"................", "..w..........w..", "..ww..gggg..ww..", "..www.geeg.www..",
                "..wwwwggggwwww..", "...wwwggggwww...", "......gggg......", ".....gggggg.....",
                ".....g.gg.g.....", "......gggg......", "......g..g......", ".....gg..gg.....",
                "....77777777....", "....77777777....", "................", "................"},
            {{'w', 8}, {'g', 7}, {'e', 12}, {'7', 8}});
        break;
    case 32:  // sea serpent
        p = t[tile::water];
        art(p, {"................", "..........ggg...", ".........gggeg..", ".........gg..gr.",
                "........gg......", "........gg......", "...ggg..gg......", "..gg.gg.gg......",
                ".gg...ggg.......", ".g.....g........", "................", "...........gg...",
                "..........gg.g..", "..........g.....", "................", "................"},
            {{'g', 10}, {'e', 12}, {'r', 12}});
        line(p, 1, 10, 8, 10, 11);
        line(p, 9, 14, 14, 14, 11);
        break;
    case 36:  // dolphin
        p = t[tile::water];
        art(p, {"................", "................", "................", "......d.........",
                ".....dd.........", "....ddddd.......", "...ddddddddd....", "..dddddddddddd..",
                "..ddeddddddd.dd.", "...dddddddd...d.", "....lllll.......", "................",
                "................", "................", "................", "................"},
            {{'d', 7}, {'e', 0}, {'l', 15}});
        line(p, 2, 11, 13, 11, 11);
        break;
    case 40:  // squid
        p = t[tile::water];
        art(p, {"................", ".......mm.......", "......mmmm......", ".....mmmmmm.....",
                ".....mmmmmm.....", ".....memmem.....", ".....mmmmmm.....", "....m.mmmm.m....",
                "...m.m.mm.m.m...", "...m.m.m..m..m..", "..m..m.m..m..m..", "..m.m..m...m..m.",
                ".m..m...m..m....", "....m...m.......", "................", "................"},
            {{'m', 13}, {'e', 14}});
        put(p, 7, 2, 15);
        break;
    case 44:  // shark
        p = t[tile::water];
        art(p, {"................", "................", "................", "........f.......",
                ".......ff.......", "......fff.......", ".....ffff.......", "....fffff.......",
                "..sssssssssss...", ".sssssssssssss..", "..sssssssssss...", "................",
                "................", "................", "................", "................"},
            {{'f', 8}, {'s', 1}});
        line(p, 4, 7, 8, 7, 7);
        line(p, 1, 11, 14, 11, 11);
        break;
    case 128:  // fishing boat
        p = t[tile::water];
        art(p, {"...........l....", "..........l.....", ".........l......", "........l..hh...",
                ".......l...ss...", "......l...ttt...", ".....l...kttt...", "....l.....tt....",
                "..bbbbbbbbbbbbb.", "...bbbbbbbbbbb..", "....bbbbbbbbb...", "................",
                "................", "................", "................", "................"},
            {{'l', 7}, {'h', 14}, {'s', 12}, {'t', 4}, {'k', 12}, {'b', 6}});
        line(p, 4, 8, 4, 14, 15);
        break;
    case 148:  // duck
        art(p, {"................", "................", "................", "................",
                "..........gg....", ".........ggeg...", ".........gggyy..", "..........gg....",
                "..w......www....", "..wwwwwwwwww....", "...wwwwwwwww....", "...wwwwwwwww....",
                "....wwwwwww.....", "......y..y......", ".....yy.yy......", "................"},
            {{'w', 15}, {'g', 2}, {'e', 0}, {'y', 14}});
        line(p, 4, 10, 8, 10, 7);
        break;
    case 156:  // crab
        art(p, {"................", "................", "................", "...cc......cc...",
                "..c..c....c..c..", "..cc.c....c.cc..", "....c......c....", ".....cccccc.....",
                "....cceccecc....", "...cccccccccc...", "...cccccccccc...", "..c.c.c..c.c.c..",
                ".c..c..c..c..c..", "................", "................", "................"},
            {{'c', 12}, {'e', 0}});
        line(p, 5, 10, 10, 10, 4);
        break;
    case 164:  // spider
        art(p, {"................", "................", "..l..........l..", "...l........l...",
                "....l..bb..l....", ".....lbbbbl.....", "..lllbbbbbblll..", ".....beebeb.....",
                "..lllbbbbbblll..", ".....lbbbbl.....", "....l.bbbb.l....", "...l..bbbb..l...",
                "..l....bb....l..", "................", "................", "................"},
            {{'l', 8}, {'b', 5}, {'e', 12}});
        put(p, 8, 10, 14);
        break;
    case 168:  // skeleton
        art(p, {"................", "......wwww......", ".....wwwwww.....", ".....w.ww.w.....",
                ".....wwwwww.....", "......w..w......", ".......ww.......", "....wwwwwwww....",
                "...w..wwww..w...", "...w..wwww..w...", "...w..wwww..w...", "......wwww......",
                "......w..w......", "......w..w......", ".....ww..ww.....", "................"},
            {{'w', 15}});
        line(p, 13, 3, 13, 10, 7);
        line(p, 12, 9, 14, 9, 6);
        break;
    case 172:  // slime
        art(p, {"................", "................", "................", "................",
                "................", "......gggg......", "....gggggggg....", "...gggggggggg...",
                "..gggeggggeggg..", "..gggggggggggg..", ".gggggggggggggg.", ".gggggggggggggg.",
                "..gggggggggggg..", "....gggg.gggg...", "................", "................"},
            {{'g', 10}, {'e', 0}});
        put(p, 5, 7, 15);
        line(p, 3, 12, 12, 12, 2);
        break;
    default: {
        if (kind >= 184 && kind <= 187) {  // fire spirits
            int hot[4][3] = {{4, 12, 14}, {12, 14, 15}, {5, 13, 15}, {6, 14, 15}};
            const int* c = hot[kind - 184];
            art(p, {"........o.......", ".......oo.......", "......oom.......", ".....ooomm....o.",
                    "....ooommmo..oo.", "....oommmmoooo..", "...oommymmmoo...", "...ommeymemo....",
                    "...ommmyymmo....", "..oommmyymmoo...", "..oommmmmmmoo...", "...oommmmmoo....",
                    "....oommmoo.....", ".....oooooo.....", "......oooo......", "................"},
                {{'o', c[0]}, {'m', c[1]}, {'y', c[2]}, {'e', 0}});
            break;
        }
        if (is_human_kind(kind)) {
            draw_figure(p, human_of_kind(kind));
            break;
        }
        // A plain hooded figure for kinds no settlement uses.
        figure f;
        f.top = 8 + kind % 8;
        if (f.top == 8)
            f.top = 7;
        f.hair = f.top;
        f.hat = figure::hood;
        f.legs = 8;
        draw_figure(p, f);
        break;
    }
    }
}

// A seated person drawn over furniture: looking up shows the back of the
// head, looking down the face, left and right the profile.
void seat_person(pic& p, int look, int top, int hair, int dy)
{
    int skin = 12;
    switch (look) {
    case 0:  // up: back view
        disc(p, 8, 5 + dy, 2, hair);
        rect(p, 5, 8 + dy, 10, 11 + dy, top);
        put(p, 4, 8 + dy, skin);
        put(p, 11, 8 + dy, skin);
        break;
    case 2:  // down: front view
        disc(p, 8, 5 + dy, 2, skin);
        line(p, 6, 3 + dy, 10, 3 + dy, hair);
        put(p, 7, 5 + dy, 0);
        put(p, 9, 5 + dy, 0);
        rect(p, 5, 8 + dy, 10, 11 + dy, top);
        put(p, 4, 10 + dy, skin);
        put(p, 11, 10 + dy, skin);
        break;
    case 1:  // right: profile
    case 3: {
        int s = look == 1 ? 1 : -1;
        disc(p, 8 + s, 5 + dy, 2, skin);
        line(p, 8 + s - 2 * s, 3 + dy, 8 + s - 2 * s, 6 + dy, hair);
        put(p, 8 + 2 * s, 5 + dy, 0);
        rect(p, 6, 8 + dy, 10, 11 + dy, top);
        line(p, 8 + s, 10 + dy, 8 + 4 * s, 10 + dy, skin);
        break;
    }
    default: break;
    }
}

void draw_poses(tile_set& t)
{
    using namespace tile;
    // Sleepers: a head on the pillow, the blanket pulled up.
    pic& s1 = t[sleeper_up];
    s1 = t[bed_head_up];
    disc(s1, 8, 3, 2, 12);
    line(s1, 6, 1, 10, 1, 6);
    line(s1, 7, 3, 8, 3, 0);
    rect(s1, 4, 6, 11, 13, 9);
    put(s1, 6, 8, 1);
    pic& s2 = t[sleeper_left];
    s2 = t[bed_head_left];
    disc(s2, 3, 8, 2, 12);
    line(s2, 1, 6, 1, 10, 14);
    line(s2, 3, 7, 3, 8, 0);
    rect(s2, 6, 5, 13, 11, 12);
    put(s2, 9, 7, 4);
    pic& s3 = t[279];
    s3 = t[straw];
    disc(s3, 3, 8, 2, 12);
    line(s3, 1, 6, 1, 9, 6);
    rect(s3, 6, 6, 13, 10, 8);
    put(s3, 3, 8, 0);
    pic& s4 = t[280];
    s4 = t[prayer_mat];
    seat_person(s4, 0, 6, 6, 1);
    line(s4, 7, 12, 9, 12, 12);
    pic& s5 = t[282];
    s5 = t[armchair];
    seat_person(s5, 2, 1, 14, 0);
    line(s5, 6, 12, 6, 14, 8);
    line(s5, 9, 12, 9, 14, 8);
    for (int look = 0; look < 4; ++look) {
        pic& s = t[size_t(304 + look)];
        s = t[size_t(chair_up + look)];
        seat_person(s, look, 3, 6, 0);
    }
    for (int v = 0; v < 4; ++v) {
        int top = variant_colours[v][0], hair = v == 2 ? 14 : 6;
        pic& down = t[size_t(308 + v)];  // eating, looking down at the table below
        down = t[chair_down];
        seat_person(down, 2, top, hair, 0);
        line(down, 4, 14, 11, 14, 6);
        put(down, 12, 12, 7);
        put(down, 12, 13, 7);
        pic& up = t[size_t(312 + v)];  // eating, looking up at the table above
        up = t[chair_up];
        seat_person(up, 0, top, hair, 2);
        line(up, 4, 1, 11, 1, 6);
        put(up, 3, 7, 7);
        put(up, 3, 6, 7);
        pic& pu = t[size_t(352 + v)];  // in a pew, looking up
        pu = t[pew_up];
        seat_person(pu, 0, top, hair, -2);
        pic& pd = t[size_t(356 + v)];  // in a pew, looking down
        pd = t[pew_down];
        seat_person(pd, 2, top, hair, 1);
    }
    // Fire spirit blazing inside a fire field.
    pic& fs = t[fire_spirit_in_fire];
    fs = t[fire_field];
    disc(fs, 8, 8, 5, 12);
    disc(fs, 8, 9, 3, 14);
    disc(fs, 8, 10, 1, 15);
    put(fs, 6, 7, 0);
    put(fs, 10, 7, 0);
    line(fs, 8, 0, 9, 3, 14);
}

void draw_items(tile_set& t)
{
    pic& rs = t[436];  // glowing rune stone
    paint_cave_floor(rs, 436);
    disc(rs, 8, 9, 5, 8);
    rect(rs, 5, 3, 11, 13, 8);
    frame(rs, 5, 3, 11, 13, 7);
    line(rs, 8, 5, 8, 11, 11);
    line(rs, 6, 7, 10, 9, 11);
    put(rs, 6, 4, 15);
    ring(rs, 8, 8, 7, 3);
    pic& sw = t[439];  // sword in a rock
    paint_cave_floor(sw, 439);
    disc(sw, 8, 12, 4, 7);
    disc(sw, 7, 11, 2, 15);
    line(sw, 8, 1, 8, 10, 15);
    line(sw, 9, 1, 9, 10, 7);
    line(sw, 5, 3, 12, 3, 14);
    put(sw, 8, 0, 14);
    put(sw, 9, 0, 14);
}

}  // namespace

uint8_t shore_tile(int corner_bits, bool sandy, bool land_joined)
{
    switch (corner_bits & 15) {
    case 1: return 228;
    case 2: return 229;
    case 4: return 230;
    case 8: return 231;
    case 14: return 52;
    case 13: return 53;
    case 11: return 54;
    case 7: return 55;
    case 12: return uint8_t(sandy ? 102 : 96);  // water north
    case 5: return uint8_t(sandy ? 103 : 97);   // water east
    case 3: return uint8_t(sandy ? 104 : 98);   // water south
    case 10: return uint8_t(sandy ? 105 : 99);  // water west
    case 9: return uint8_t(land_joined ? 106 : 100);
    case 6: return uint8_t(land_joined ? 107 : 101);
    default: return 0;
    }
}

void build_tiles(tile_set& tiles)
{
    tiles.assign(tile_count, tile_picture{});
    // Later groups draw some pictures over tiles of earlier ones.
    draw_terrain(tiles);
    draw_greenery(tiles);
    draw_shores(tiles);
    draw_world_signs(tiles);
    draw_walls_and_doors(tiles);
    draw_beds_and_seats(tiles);
    draw_passages(tiles);
    draw_furniture(tiles);
    draw_objects(tiles);
    draw_outdoor_objects(tiles);
    for (int kind = 1; kind < 256; ++kind) {
        int n = 256 + kind;
        bool reserved = n == 279 || n == 280 || n == 282 || (n >= 304 && n <= 315) ||
                        (n >= 352 && n <= 359) || n == 436 || n == 439 || (n >= 488 && n <= 491);
        if (!reserved)
            draw_creature(tiles[size_t(n)], kind, tiles);
    }
    draw_poses(tiles);
    draw_items(tiles);
}

}  // namespace sample
