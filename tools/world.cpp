// The surface of Britannia and the Underworld, 256 x 256 tiles each.
//
// Coasts are laid out on the cell corners: every corner is land or water,
// a cell whose four corners agree is open land or open water, and a cell
// with mixed corners takes the shore tile whose stencil matches them, so
// neighbouring shore tiles meet at the middle of their common edge.

#include "sample_data.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <queue>
#include <utility>

namespace sample {

namespace {

// Stored ('#') and absent ('.') chunk positions of the surface file.
constexpr std::array<const char*, 16> surface_chunk_rows = {
    "..############.#", ".##############.", "###############.", "################",
    "################", "################", "###########.####", "#######...##.###",
    ".######...##.###", "#######.#....##.", "#######.#..##...", "..######......##",
    ".##.####..##.###", ".##.####..##.###", ".###############", "...##.##########",
};

struct spot {
    int x, y;
};

constexpr std::array<spot, 8> moon_gates = {
    {{224, 133}, {96, 102}, {38, 224}, {50, 37}, {166, 19}, {104, 194}, {23, 126}, {187, 167}}};

constexpr std::array<spot, 4> underworld_items = {{{105, 225}, {192, 80}, {130, 65}, {176, 184}}};

constexpr int vertex_side = world_side + 1;

double value_noise(double x, double y, uint32_t seed)
{
    double fx0 = std::floor(x), fy0 = std::floor(y);
    int ix = int(fx0), iy = int(fy0);
    double fx = x - fx0, fy = y - fy0;
    auto v = [&](int a, int b) { return double(hash_xy(a, b, seed) & 0xFFFF) / 32767.5 - 1.0; };
    double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    double top = v(ix, iy) + (v(ix + 1, iy) - v(ix, iy)) * sx;
    double bottom = v(ix, iy + 1) + (v(ix + 1, iy + 1) - v(ix, iy + 1)) * sx;
    return top + (bottom - top) * sy;
}

uint8_t& cell(world_map& map, int x, int y) { return map[size_t(y * world_side + x)]; }

// Corner bits of a cell from the corner land flags (see shore_tile).
int corner_bits(const std::vector<bool>& land, int x, int y)
{
    auto l = [&](int vx, int vy) { return land[size_t(vy * vertex_side + vx)] ? 1 : 0; };
    return l(x, y) | l(x + 1, y) << 1 | l(x, y + 1) << 2 | l(x + 1, y + 1) << 3;
}

// Steps from the nearest cell that has any land, over all-water cells.
std::vector<int> water_depth(const std::vector<int>& bits)
{
    std::vector<int> depth(size_t(world_side * world_side), -1);
    std::deque<int> queue;
    for (int i = 0; i < world_side * world_side; ++i)
        if (bits[size_t(i)] != 0) {
            depth[size_t(i)] = 0;
            queue.push_back(i);
        }
    while (!queue.empty()) {
        int i = queue.front();
        queue.pop_front();
        int x = i % world_side, y = i / world_side;
        for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
            int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= world_side || ny >= world_side)
                continue;
            int n = ny * world_side + nx;
            if (depth[size_t(n)] < 0) {
                depth[size_t(n)] = depth[size_t(i)] + 1;
                queue.push_back(n);
            }
        }
    }
    return depth;
}

uint8_t open_water(int depth, int x, int y)
{
    if (depth <= 1)
        return tile::shallows;
    if (depth <= 3)
        return (hash_xy(x, y, 404) % 100 < 4 && depth == 2)
                   ? uint8_t(tile::reef_first + hash_xy(x, y, 405) % 4)
                   : tile::water;
    return tile::deep_water;
}

double distance_to_absent_area(int vx, int vy)
{
    double best = 1e9;
    for (int c = 0; c < 256; ++c) {
        if (surface_chunk_present(c))
            continue;
        int x0 = (c % 16) * 16, y0 = (c / 16) * 16;
        double dx = std::max({double(x0 - vx), 0.0, double(vx - (x0 + 16))});
        double dy = std::max({double(y0 - vy), 0.0, double(vy - (y0 + 16))});
        best = std::min(best, std::sqrt(dx * dx + dy * dy));
    }
    return best;
}

bool is_open_land(uint8_t t)
{
    return t == tile::grass || t == tile::scrub || t == tile::plains || t == tile::flowers ||
           t == tile::tall_grass || t == tile::light_woods;
}

// Nearest open land to (x, y), searched in growing squares.
spot find_site(const world_map& map, int x, int y)
{
    for (int r = 0; r < 30; ++r)
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                if (std::max(std::abs(dx), std::abs(dy)) != r)
                    continue;
                int nx = x + dx, ny = y + dy;
                if (nx < 2 || ny < 2 || nx >= world_side - 2 || ny >= world_side - 2)
                    continue;
                if (is_open_land(map[size_t(ny * world_side + nx)]))
                    return {nx, ny};
            }
    return {x, y};
}

// Cheapest path over land (and short stretches of open water as bridges),
// drawn as road.
void lay_road(world_map& map, const std::vector<int>& bits, spot from, spot to)
{
    auto cost = [&](int i) -> int {
        uint8_t t = map[size_t(i)];
        if (t == tile::road || t == tile::bridge)
            return 1;
        if (bits[size_t(i)] == 0)
            return (t == tile::shallows || t == tile::water) ? 14 : -1;
        if (bits[size_t(i)] != 15 || (t >= tile::towne_sign && t <= tile::lighthouse))
            return -1;
        switch (t) {
        case tile::mountains: case tile::peaks: case tile::volcano: return -1;
        case tile::forest: return 3;
        case tile::hills: return 4;
        case tile::swamp: return 6;
        default: return 2;
        }
    };
    const int n = world_side * world_side;
    std::vector<int> dist(size_t(n), 1 << 30), prev(size_t(n), -1);
    using item = std::pair<int, int>;
    std::priority_queue<item, std::vector<item>, std::greater<>> open;
    int start = from.y * world_side + from.x, goal = to.y * world_side + to.x;
    dist[size_t(start)] = 0;
    open.push({0, start});
    while (!open.empty()) {
        auto [d, i] = open.top();
        open.pop();
        if (d != dist[size_t(i)])
            continue;
        if (i == goal)
            break;
        int x = i % world_side, y = i / world_side;
        for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
            int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= world_side || ny >= world_side)
                continue;
            int j = ny * world_side + nx;
            int c = j == goal ? 1 : cost(j);
            if (c < 0 || d + c >= dist[size_t(j)])
                continue;
            dist[size_t(j)] = d + c;
            prev[size_t(j)] = i;
            open.push({d + c, j});
        }
    }
    if (prev[size_t(goal)] < 0)
        return;
    for (int i = prev[size_t(goal)]; i != start && i >= 0; i = prev[size_t(i)]) {
        uint8_t& t = map[size_t(i)];
        if (bits[size_t(i)] == 0)
            t = tile::bridge;
        else if (t != tile::road)
            t = tile::road;
    }
}

}  // namespace

double fractal_noise(double x, double y, uint32_t seed, int octaves)
{
    double sum = 0, amplitude = 1, norm = 0, frequency = 1;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * value_noise(x * frequency, y * frequency, seed + uint32_t(o) * 101u);
        norm += amplitude;
        amplitude *= 0.5;
        frequency *= 2;
    }
    return sum / norm;
}

bool surface_chunk_present(int chunk_position)
{
    return surface_chunk_rows[size_t(chunk_position / 16)][chunk_position % 16] == '#';
}

void build_surface(world_map& map)
{
    map.assign(size_t(world_side * world_side), tile::deep_water);

    // Corner heights: noise over a continent shape, pushed under water near
    // the absent areas and the map border, raised around the moon gates.
    std::vector<double> height(size_t(vertex_side * vertex_side));
    for (int vy = 0; vy < vertex_side; ++vy)
        for (int vx = 0; vx < vertex_side; ++vx) {
            double dx = (vx - 128) / 128.0, dy = (vy - 118) / 128.0;
            double v = fractal_noise(vx / 44.0, vy / 44.0, 11, 5) * 1.25 + 0.4 - 0.5 * (dx * dx + dy * dy);
            double absent = distance_to_absent_area(vx, vy);
            if (absent < 10)
                v -= (10 - absent) / 10 * 0.9;
            int edge = std::min({vx, vy, world_side - vx, world_side - vy});
            if (edge < 12)
                v -= (12 - edge) / 12.0 * 0.6;
            for (spot g : moon_gates) {
                double d = std::hypot(vx - g.x - 0.5, vy - g.y - 0.5);
                if (d < 5)
                    v = std::max(v, 0.12 + (5 - d) * 0.02);
            }
            height[size_t(vy * vertex_side + vx)] = v;
        }
    std::vector<bool> land(height.size());
    for (size_t i = 0; i < height.size(); ++i)
        land[i] = height[i] > 0;

    std::vector<int> bits(size_t(world_side * world_side));
    for (int y = 0; y < world_side; ++y)
        for (int x = 0; x < world_side; ++x)
            bits[size_t(y * world_side + x)] = corner_bits(land, x, y);
    std::vector<int> depth = water_depth(bits);

    for (int y = 0; y < world_side; ++y)
        for (int x = 0; x < world_side; ++x) {
            int i = y * world_side + x;
            auto hv = [&](int vx, int vy) { return height[size_t(vy * vertex_side + vx)]; };
            double e = (hv(x, y) + hv(x + 1, y) + hv(x, y + 1) + hv(x + 1, y + 1)) / 4;
            double m = fractal_noise(x / 36.0, y / 36.0, 23, 4);
            double relief = fractal_noise(x / 30.0, y / 30.0, 71, 4) + std::min(e, 0.3) * 0.5;
            uint32_t r = hash_xy(x, y, 7) % 100;
            uint8_t& t = cell(map, x, y);
            if (bits[size_t(i)] == 0) {
                t = open_water(depth[size_t(i)], x, y);
                continue;
            }
            if (bits[size_t(i)] != 15) {
                t = shore_tile(bits[size_t(i)], m < -0.22, e > 0);
                continue;
            }
            if (relief > 0.52)
                t = r < 3 ? tile::volcano : tile::peaks;
            else if (relief > 0.4)
                t = tile::mountains;
            else if (relief > 0.32)
                t = tile::hills;
            else if (m > 0.16 && e < 0.14)
                t = r < 10 ? tile::tall_grass : tile::swamp;
            else if (m > 0.07)
                t = r < 12 ? tile::light_woods : tile::forest;
            else if (m > 0.01)
                t = r < 30 ? tile::scrub : tile::light_woods;
            else if (m < -0.24)
                t = r < 4 ? tile::cactus : (r < 10 ? tile::dead_tree : tile::sand);
            else if (m < -0.16)
                t = r < 60 ? tile::plains : tile::sand;
            else
                t = r < 6 ? tile::flowers : (r < 14 ? tile::tall_grass : (r < 20 ? tile::plains : tile::grass));
        }

    // Settlements and sights; the castle in the middle is the road hub.
    struct sight {
        int x, y;
        uint8_t tile;
    };
    const sight sights[] = {
        {120, 104, tile::castle_sign}, {84, 126, tile::towne_sign},  {156, 90, tile::towne_sign},
        {62, 64, tile::towne_sign},    {180, 142, tile::towne_sign}, {120, 176, tile::towne_sign},
        {196, 60, tile::castle_sign},  {48, 168, tile::castle_sign}, {140, 40, tile::keep_sign},
        {100, 78, tile::keep_sign},    {206, 110, tile::keep_sign},  {72, 200, tile::dwelling_sign},
        {150, 200, tile::dwelling_sign}, {30, 96, tile::dwelling_sign}, {226, 180, tile::shrine_sign},
        {110, 140, tile::shrine_sign}, {170, 120, tile::ruins},      {86, 40, tile::cave_mouth},
    };
    std::vector<spot> placed;
    for (const sight& s : sights) {
        spot p = find_site(map, s.x, s.y);
        cell(map, p.x, p.y) = s.tile;
        placed.push_back(p);
    }
    for (size_t k = 1; k < 8; ++k)
        lay_road(map, bits, placed[0], placed[k]);
    lay_road(map, bits, placed[1], placed[7]);
    lay_road(map, bits, placed[3], placed[9]);
    lay_road(map, bits, placed[4], placed[2]);
    lay_road(map, bits, placed[5], placed[12]);

    // Fields round the townes, sights on the coast and at sea.
    for (size_t k = 1; k < 6; ++k)
        for (int dy = -4; dy <= 4; ++dy)
            for (int dx = -4; dx <= 4; ++dx) {
                int x = placed[k].x + dx, y = placed[k].y + dy;
                uint8_t& t = cell(map, x, y);
                uint32_t r = hash_xy(x, y, 33) % 100;
                if (is_open_land(t) && r < 35)
                    t = r < 4 ? tile::windmill : (r < 20 ? tile::crops : tile::hay_field);
            }
    for (int y = 1; y < world_side - 1; ++y)
        for (int x = 1; x < world_side - 1; ++x) {
            int i = y * world_side + x;
            uint8_t& t = cell(map, x, y);
            uint32_t r = hash_xy(x, y, 55) % 1000;
            if (bits[size_t(i)] == 15 && is_open_land(t) && r < 3 && depth[size_t(i)] == 0) {
                bool coast = bits[size_t(i - 1)] != 15 || bits[size_t(i + 1)] != 15;
                t = coast ? tile::lighthouse : (r == 0 ? tile::obelisk : tile::boulder);
            }
            if (bits[size_t(i)] == 0 && depth[size_t(i)] > 4 && r < 2)
                t = r == 0 ? tile::ship : tile::whirlpool;
            if (bits[size_t(i)] == 0 && depth[size_t(i)] == 2 && r >= 990)
                t = tile::sea_rock;
        }

    // Grass round every moon gate so that a drawn gate stands out.
    for (spot g : moon_gates)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (bits[size_t((g.y + dy) * world_side + g.x + dx)] == 15)
                    cell(map, g.x + dx, g.y + dy) = tile::grass;

    // Absent areas are drawn as tile 1; hold the same here.
    for (int y = 0; y < world_side; ++y)
        for (int x = 0; x < world_side; ++x)
            if (!surface_chunk_present((y / 16) * 16 + x / 16))
                cell(map, x, y) = tile::deep_water;
}

void build_underworld(world_map& map)
{
    map.assign(size_t(world_side * world_side), tile::rock);
    auto cave = [](double x, double y) {
        double v = fractal_noise(x / 20.0, y / 20.0, 31, 4) + 0.3 * fractal_noise(x / 7.0, y / 7.0, 37, 2);
        int edge = int(std::min({x, y, world_side - x, world_side - y}));
        if (edge < 6)
            v -= (6 - edge) * 0.1;
        for (spot s : underworld_items)
            if (std::hypot(x - s.x - 0.5, y - s.y - 0.5) < 4)
                v = std::max(v, 0.3);
        return v;
    };
    // Lakes: water corners lie well inside the caverns.
    std::vector<bool> dry(size_t(vertex_side * vertex_side));
    for (int vy = 0; vy < vertex_side; ++vy)
        for (int vx = 0; vx < vertex_side; ++vx) {
            bool wet = cave(vx, vy) > 0.22 && fractal_noise(vx / 26.0, vy / 26.0, 41, 3) > 0.2;
            for (spot s : underworld_items)
                if (std::hypot(vx - s.x - 0.5, vy - s.y - 0.5) < 4)
                    wet = false;
            dry[size_t(vy * vertex_side + vx)] = !wet;
        }
    std::vector<int> bits(size_t(world_side * world_side));
    for (int y = 0; y < world_side; ++y)
        for (int x = 0; x < world_side; ++x)
            bits[size_t(y * world_side + x)] = corner_bits(dry, x, y);
    std::vector<int> depth = water_depth(bits);

    std::vector<bool> floor(size_t(world_side * world_side));
    for (int y = 0; y < world_side; ++y)
        for (int x = 0; x < world_side; ++x) {
            int i = y * world_side + x;
            floor[size_t(i)] = cave(x + 0.5, y + 0.5) > -0.02 || bits[size_t(i)] != 15;
        }
    for (int y = 0; y < world_side; ++y)
        for (int x = 0; x < world_side; ++x) {
            int i = y * world_side + x;
            uint8_t& t = cell(map, x, y);
            uint32_t r = hash_xy(x, y, 61) % 1000;
            if (bits[size_t(i)] == 0) {
                t = open_water(depth[size_t(i)], x, y);
                continue;
            }
            if (bits[size_t(i)] != 15) {
                t = shore_tile(bits[size_t(i)], true, cave(x + 0.5, y + 0.5) > 0.3);
                continue;
            }
            if (!floor[size_t(i)]) {
                double dark = fractal_noise(x / 30.0, y / 30.0, 47, 2);
                t = r < 20 ? tile::ore_vein
                           : r < 30 ? tile::glowing_rock : (dark > 0.25 ? tile::dark_rock : tile::rock);
                continue;
            }
            double lava = fractal_noise(x / 16.0, y / 16.0, 43, 3);
            if (lava > 0.3)
                t = r < 15 ? tile::lava_vent : tile::lava;
            else if (lava > 0.24)
                t = r < 300 ? tile::obsidian : tile::lava_crust;
            else if (r < 130)
                t = tile::cave_pebbles;
            else if (r < 145)
                t = tile::stalagmites;
            else if (r < 152)
                t = tile::crystal_floor;
            else if (r < 165)
                t = fractal_noise(x / 12.0, y / 12.0, 53, 2) > 0 ? tile::glow_fungus : tile::mushroom;
            else if (r < 170)
                t = tile::bones;
            else if (r < 174)
                t = tile::stone_column;
            else if (r < 178)
                t = tile::rock_pile;
            else if (r < 180)
                t = tile::crystals;
            else if (r == 180)
                t = tile::ladder_up;
            else
                t = tile::cave_floor;
        }
    // The items lie on bare floor.
    for (spot s : underworld_items)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                cell(map, s.x + dx, s.y + dy) = tile::cave_floor;
}

}  // namespace sample
