// Settlement levels: walls, streets and buildings split into furnished
// rooms. Every level gets its own seed, so no two look alike; basements are
// cellars cut into rock, upper floors stand in the dark.

#include "settlement_plan.hpp"

#include <algorithm>

namespace sample {

const slot_entry map_slots[4][levels_per_group] = {
    {{0, 255}, {0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 255}, {1, 0}, {1, 1},
     {1, 2}, {1, 3}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}},
    {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1},
     {2, 2}, {3, 0}, {3, 1}, {3, 2}, {4, 0}, {5, 0}, {6, 0}, {7, 0}},
    {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
     {5, 1}, {5, 2}, {6, 0}, {6, 1}, {6, 2}, {7, 255}, {7, 0}, {7, 1}},
    {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {3, 255}, {3, 0},
     {4, 0}, {4, 1}, {5, 0}, {5, 1}, {6, 0}, {6, 1}, {7, 0}, {7, 1}},
};

namespace {

using namespace tile;

struct area {
    int x0, y0, x1, y1;  // inclusive
};

int width_of(const area& a) { return a.x1 - a.x0 + 1; }

int height_of(const area& a) { return a.y1 - a.y0 + 1; }

enum class room_kind {
    shop, inn, tavern, house, chapel, library, smithy, kitchen, barracks,
    throne_room, dining, bedroom, storage, stable, prison, crypt, cellar, hall, well_room
};

struct building_style {
    uint8_t wall, floor, window;
};

bool inside(int x, int y) { return x >= 0 && y >= 0 && x < level_side && y < level_side; }

uint8_t get(const level_plan& lp, int x, int y) { return lp.tiles[size_t(y * level_side + x)]; }

void set(level_plan& lp, int x, int y, uint8_t t)
{
    if (inside(x, y))
        lp.tiles[size_t(y * level_side + x)] = t;
}

void fill_area(level_plan& lp, area a, uint8_t t)
{
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x)
            set(lp, x, y, t);
}

void outline(level_plan& lp, area a, uint8_t t)
{
    for (int x = a.x0; x <= a.x1; ++x) {
        set(lp, x, a.y0, t);
        set(lp, x, a.y1, t);
    }
    for (int y = a.y0; y <= a.y1; ++y) {
        set(lp, a.x0, y, t);
        set(lp, a.x1, y, t);
    }
}

bool is_wall(uint8_t t)
{
    return t == stone_wall || t == brick_wall || t == wood_wall || t == stone_window || t == wood_window ||
           t == wall_torch || t == fireplace || t == rough_wall || t == dark_wall || t == rock ||
           t == dark_rock || t == stained_glass || t == banner_wall || t == tapestry || t == turret ||
           t == barred_window || t == wood_wall_torch;
}

// A furniture spot: the room's own floor, and not in front of a door.
bool free_spot(const level_plan& lp, int x, int y, uint8_t floor)
{
    if (!inside(x, y) || get(lp, x, y) != floor)
        return false;
    for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
        if (inside(x + dx, y + dy) && get(lp, x + dx, y + dy) == door)
            return false;
    return true;
}

bool place(level_plan& lp, int x, int y, uint8_t floor, uint8_t t)
{
    if (!free_spot(lp, x, y, floor))
        return false;
    set(lp, x, y, t);
    return true;
}

// A two-cell table (north end at (x, y)) with chairs at both ends; false when there is no room.
bool table_with_chairs(level_plan& lp, int x, int y, uint8_t floor)
{
    if (!free_spot(lp, x, y, floor) || !free_spot(lp, x, y + 1, floor))
        return false;
    set(lp, x, y, table_top);
    set(lp, x, y + 1, table_bottom);
    place(lp, x, y - 1, floor, chair_down);
    place(lp, x, y + 2, floor, chair_up);
    return true;
}

// A standing lamp lights the brick floor below it at night.
void lamp_at(level_plan& lp, int x, int y)
{
    if (free_spot(lp, x, y, brick_floor) && inside(x, y + 1) && get(lp, x, y + 1) == brick_floor)
        set(lp, x, y, lamp);
}

// A wall cell of the room's top wall, between two other wall cells.
void on_top_wall(level_plan& lp, area r, int x, uint8_t t)
{
    int y = r.y0 - 1;
    if (y >= 1 && x >= 1 && x < level_side - 1 && is_wall(get(lp, x, y)) && is_wall(get(lp, x - 1, y)) &&
        is_wall(get(lp, x + 1, y)))
        set(lp, x, y, t);
}

uint8_t cabinet_of(lcg& g)
{
    const uint8_t c[4] = {clock, chest, potted_plant, harp};
    return c[lcg_below(g, 4)];
}

void add_post(level_plan& lp, int x, int y)
{
    if (inside(x, y))
        lp.posts.push_back({x, y});
}

void furnish(level_plan& lp, lcg& g, area r, room_kind kind, uint8_t floor)
{
    int w = width_of(r), h = height_of(r), cx = r.x0 + w / 2;
    switch (kind) {
    case room_kind::shop: {
        if (h >= 3) {
            for (int x = r.x0; x < r.x1; ++x)
                place(lp, x, r.y0 + 1, floor, (x - r.x0) % 3 == 1 ? counter_wares : counter);
            for (int x = r.x0; x <= r.x1; ++x)
                if (x != cx && x != cx + 2)
                    place(lp, x, r.y0, floor, x % 2 ? bookshelf : crate);
            add_post(lp, cx, r.y0);
            if (w > 4)
                add_post(lp, cx + 2, r.y0);
        }
        place(lp, r.x1, r.y1, floor, barrel);
        place(lp, r.x0, r.y1, floor, potted_plant);
        break;
    }
    case room_kind::inn:
        for (int x = r.x0; x <= r.x1; x += 2)
            if (free_spot(lp, x, r.y0 + 1, floor))
                place(lp, x, r.y0, floor, bed_head_up);
        for (int y = r.y0 + 3; y <= r.y1; y += 2)
            if (free_spot(lp, r.x0 + 1, y, floor))
                place(lp, r.x0, y, floor, bed_head_left);
        place(lp, r.x1, r.y1, floor, chest);
        lamp_at(lp, r.x1, r.y0);
        on_top_wall(lp, r, r.x0 + 1, wall_torch);
        break;
    case room_kind::tavern: {
        if (h >= 4) {
            for (int tx = r.x0 + 1; tx + 1 <= r.x1; tx += 4) {
                int ty = r.y0 + 1;
                if (!table_with_chairs(lp, tx, ty, floor))
                    continue;
                place(lp, tx - 1, ty, floor, chair_right);
                place(lp, tx + 1, ty + 1, floor, chair_left);
            }
        } else {
            for (int tx = r.x0 + 1; tx + 1 <= r.x1; tx += 4) {
                if (!place(lp, tx, r.y0, floor, round_table))
                    continue;
                place(lp, tx - 1, r.y0, floor, chair_right);
                place(lp, tx + 1, r.y0, floor, chair_left);
                place(lp, tx, r.y0 + 1, floor, chair_up);
            }
        }
        place(lp, r.x1, r.y1, floor, barrel);
        if (h >= 6) {
            for (int x = r.x0 + 1; x <= r.x1; ++x)
                place(lp, x, r.y1 - 1, floor, x == r.x0 + 1 ? counter_wares : counter);
            add_post(lp, r.x0 + 2, r.y1);
        }
        on_top_wall(lp, r, cx, fireplace);
        lamp_at(lp, r.x0, r.y0);
        break;
    }
    case room_kind::house:
        place(lp, r.x0, r.y0, floor, bed_head_left);
        place(lp, r.x1, r.y0, floor, wardrobe);
        if (w >= 5 && h >= 3) {
            int ty = r.y0 + h / 2;
            if (place(lp, cx, ty, floor, round_table)) {
                place(lp, cx - 1, ty, floor, chair_right);
                place(lp, cx + 1, ty, floor, chair_left);
                place(lp, cx, ty - 1, floor, chair_down);
            }
        }
        place(lp, r.x0, r.y1, floor, lcg_chance(g, 50) ? planter : chest);
        place(lp, r.x1, r.y1, floor, lcg_chance(g, 50) ? rug : armchair);
        on_top_wall(lp, r, cx, fireplace);
        add_post(lp, r.x1 - 1, r.y1);
        break;
    case room_kind::chapel: {
        place(lp, cx, r.y0, floor, altar);
        place(lp, cx - 2, r.y0, floor, candelabra);
        place(lp, cx + 2, r.y0, floor, candelabra);
        place(lp, cx, r.y0 + 1, floor, prayer_mat);
        for (int y = r.y0 + 3; y <= r.y1; y += 2)
            for (int x = r.x0; x <= r.x1; ++x)
                if (x != cx)
                    place(lp, x, y, floor, pew_up);
        if (w >= 5) {
            place(lp, r.x0, r.y0 + 1, floor, pew_down);
            place(lp, r.x1, r.y0 + 1, floor, pew_down);
        }
        on_top_wall(lp, r, cx, stained_glass);
        add_post(lp, cx + 1, r.y0 + 1);
        break;
    }
    case room_kind::library:
        for (int x = r.x0; x <= r.x1; ++x)
            place(lp, x, r.y0, floor, bookshelf);
        if (h >= 4 && place(lp, r.x0 + 1, r.y0 + 2, floor, desk)) {
            place(lp, r.x0 + 1, r.y0 + 3, floor, chair_up);
        }
        place(lp, r.x1, r.y1, floor, armchair);
        place(lp, r.x1 - 2, r.y1, floor, stool);
        place(lp, r.x0, r.y1, floor, clock);
        add_post(lp, cx, r.y0 + 1);
        break;
    case room_kind::smithy:
        place(lp, cx, r.y0 + h / 2, floor, anvil);
        add_post(lp, cx - 1, r.y0 + h / 2);
        for (int x = r.x0; x <= r.x1; x += 2)
            place(lp, x, r.y0, floor, x % 4 ? weapon_rack : armour_stand);
        place(lp, r.x1, r.y1, floor, barrel);
        on_top_wall(lp, r, r.x0 + 1, fireplace);
        break;
    case room_kind::kitchen:
        place(lp, r.x0, r.y0, floor, stove);
        place(lp, r.x0 + 2, r.y0, floor, cauldron);
        place(lp, r.x1, r.y0, floor, sacks);
        place(lp, r.x1, r.y1, floor, barrel);
        if (h >= 3)
            place(lp, cx, r.y0 + h / 2, floor, table_food);
        add_post(lp, r.x0 + 1, r.y0 + 1);
        break;
    case room_kind::barracks:
        for (int x = r.x0; x <= r.x1; x += 2) {
            place(lp, x, r.y0, floor, bed_head_up);
            if (h >= 4)
                place(lp, x, r.y1, floor, x % 4 ? chest : weapon_rack);
        }
        break;
    case room_kind::throne_room: {
        for (int y = r.y0 + 1; y <= r.y1; ++y)
            if (get(lp, cx, y) == floor)
                set(lp, cx, y, carpet);
        place(lp, cx, r.y0, floor, throne);
        for (int y = r.y0 + 1; y <= r.y1 - 1; y += 3) {
            place(lp, r.x0 + 1, y, floor, pillar);
            place(lp, r.x1 - 1, y, floor, pillar);
        }
        lamp_at(lp, cx - 2, r.y0);
        lamp_at(lp, cx + 2, r.y0);
        on_top_wall(lp, r, cx - 1, banner_wall);
        on_top_wall(lp, r, cx + 1, banner_wall);
        add_post(lp, cx, r.y0 + 1);
        add_post(lp, cx - 1, r.y0 + 1);
        add_post(lp, cx + 1, r.y0 + 1);
        break;
    }
    case room_kind::dining: {
        if (h >= 4) {
            int ty = r.y0 + (h - 2) / 2;
            for (int x = r.x0 + 1; x <= r.x1 - 1; ++x)
                table_with_chairs(lp, x, ty, floor);
        }
        lamp_at(lp, r.x0, r.y0);
        lamp_at(lp, r.x1, r.y0);
        place(lp, r.x1, r.y1, floor, cabinet_of(g));
        break;
    }
    case room_kind::bedroom:
        place(lp, r.x0, r.y0, floor, bed_head_up);
        if (w >= 4)
            place(lp, r.x0 + 2, r.y0, floor, bed_head_up);
        place(lp, r.x1, r.y0, floor, wardrobe);
        place(lp, r.x1 - 1, r.y0, floor, mirror);
        if (h >= 3)
            place(lp, cx, r.y0 + h / 2, floor, rug);
        place(lp, r.x1, r.y1, floor, armchair);
        place(lp, r.x0, r.y1, floor, stool);
        place(lp, r.x1 - 1, r.y1, floor, chest);
        break;
    case room_kind::storage:
        for (int y = r.y0; y <= r.y1; ++y)
            for (int x = r.x0; x <= r.x1; ++x)
                if ((x == r.x0 || x == r.x1 || y == r.y0) && lcg_chance(g, 55)) {
                    const uint8_t goods[4] = {crate, barrel, sacks, chest};
                    place(lp, x, y, floor, goods[lcg_below(g, 4)]);
                }
        break;
    case room_kind::stable:
        for (int x = r.x0; x <= r.x1; ++x)
            place(lp, x, r.y0, floor, x == r.x1 ? trough : straw);
        place(lp, r.x0, r.y1, floor, haystack);
        add_post(lp, cx, r.y0 + 1);
        break;
    case room_kind::prison:
        if (h >= 4) {
            for (int x = r.x0; x <= r.x1; ++x)
                if (get(lp, x, r.y0 + 2) == floor)
                    set(lp, x, r.y0 + 2, (x - r.x0) % 4 == 2 ? locked_door : prison_bars);
            for (int x = r.x0; x <= r.x1; x += 2)
                place(lp, x, r.y0, floor, straw);
        }
        place(lp, r.x1, r.y1, floor, stocks);
        add_post(lp, cx, r.y1);
        break;
    case room_kind::crypt:
        for (int y = r.y0; y <= r.y1; y += 2)
            for (int x = r.x0 + 1; x <= r.x1 - 1; x += 2)
                place(lp, x, y, floor, lcg_chance(g, 80) ? gravestone : bone_pile);
        place(lp, r.x0, r.y0, floor, candelabra);
        place(lp, r.x1, r.y1, floor, cobweb);
        break;
    case room_kind::cellar:
        for (int x = r.x0; x <= r.x1; ++x)
            place(lp, x, r.y0, floor, x % 3 ? wine_rack : barrel);
        for (int y = r.y0 + 2; y <= r.y1; y += 2)
            place(lp, r.x1, y, floor, barrel);
        place(lp, r.x0, r.y1, floor, cobweb);
        break;
    case room_kind::hall:
        for (int y = r.y0 + 1; y < r.y1; y += 3)
            for (int x = r.x0 + 1; x < r.x1; x += 4)
                place(lp, x, y, floor, pillar);
        for (int x = r.x0; x <= r.x1; x += 3)
            lamp_at(lp, x, r.y0);
        place(lp, r.x1, r.y1, floor, lcg_chance(g, 50) ? statue : planter);
        on_top_wall(lp, r, cx, tapestry);
        break;
    case room_kind::well_room:
        fill_area(lp, {cx - 1, r.y0 + h / 2 - 1, cx, r.y0 + h / 2}, shallows);
        set(lp, cx - 1, r.y0 + h / 2 - 1, 55);
        set(lp, cx, r.y0 + h / 2 - 1, 54);
        set(lp, cx - 1, r.y0 + h / 2, 53);
        set(lp, cx, r.y0 + h / 2, 52);
        place(lp, r.x0, r.y0, floor, barrel);
        break;
    }
}

// Split a walled rectangle into rooms by walls with doors in them.
struct split_line {
    bool vertical;
    int at, from, to;
};

void split_rooms(level_plan& lp, lcg& g, area outer, uint8_t wall, int depth, std::vector<area>& rooms,
                 std::vector<split_line>& lines)
{
    int w = outer.x1 - outer.x0 - 1, h = outer.y1 - outer.y0 - 1;
    bool can_v = w >= 7, can_h = h >= 7;
    if (depth == 0 || (!can_v && !can_h)) {
        rooms.push_back({outer.x0 + 1, outer.y0 + 1, outer.x1 - 1, outer.y1 - 1});
        return;
    }
    bool vertical = can_v && (!can_h || w > h || (w == h && lcg_chance(g, 50)));
    if (vertical) {
        int s = outer.x0 + 4 + lcg_below(g, w - 6);
        for (int y = outer.y0; y <= outer.y1; ++y)
            set(lp, s, y, wall);
        lines.push_back({true, s, outer.y0 + 1, outer.y1 - 1});
        split_rooms(lp, g, {outer.x0, outer.y0, s, outer.y1}, wall, depth - 1, rooms, lines);
        split_rooms(lp, g, {s, outer.y0, outer.x1, outer.y1}, wall, depth - 1, rooms, lines);
    } else {
        int s = outer.y0 + 4 + lcg_below(g, h - 6);
        for (int x = outer.x0; x <= outer.x1; ++x)
            set(lp, x, s, wall);
        lines.push_back({false, s, outer.x0 + 1, outer.x1 - 1});
        split_rooms(lp, g, {outer.x0, outer.y0, outer.x1, s}, wall, depth - 1, rooms, lines);
        split_rooms(lp, g, {outer.x0, s, outer.x1, outer.y1}, wall, depth - 1, rooms, lines);
    }
}

// A door where both sides of the wall are open floor.
void door_in(level_plan& lp, lcg& g, const split_line& l, uint8_t floor)
{
    std::vector<int> options;
    for (int k = l.from; k <= l.to; ++k) {
        int x = l.vertical ? l.at : k, y = l.vertical ? k : l.at;
        int ax = l.vertical ? x - 1 : x, ay = l.vertical ? y : y - 1;
        int bx = l.vertical ? x + 1 : x, by = l.vertical ? y : y + 1;
        if (inside(ax, ay) && inside(bx, by) && get(lp, ax, ay) == floor && get(lp, bx, by) == floor)
            options.push_back(k);
    }
    if (options.empty())
        return;
    int k = options[size_t(lcg_below(g, int(options.size())))];
    set(lp, l.vertical ? l.at : k, l.vertical ? k : l.at, door);
}

// A walled building with rooms; entrance on the given side (0 N, 1 E, 2 S,
// 3 W, -1 none). Returns the rooms, unfurnished.
std::vector<area> building(level_plan& lp, lcg& g, area outer, building_style st, int depth, int entrance)
{
    fill_area(lp, outer, st.floor);
    outline(lp, outer, st.wall);
    std::vector<area> rooms;
    std::vector<split_line> lines;
    split_rooms(lp, g, outer, st.wall, depth, rooms, lines);
    for (const split_line& l : lines)
        door_in(lp, g, l, st.floor);
    // Windows in the outer wall, every few cells where the inside is floor.
    for (int x = outer.x0 + 2; x < outer.x1 - 1; x += 3) {
        if (get(lp, x, outer.y0 + 1) == st.floor && get(lp, x, outer.y0) == st.wall)
            set(lp, x, outer.y0, st.window);
        if (get(lp, x, outer.y1 - 1) == st.floor && get(lp, x, outer.y1) == st.wall)
            set(lp, x, outer.y1, st.window);
    }
    if (entrance >= 0) {
        // The front door: a cell of that side's wall with floor behind it.
        bool across = entrance == 0 || entrance == 2;  // the side runs left to right
        int at = entrance == 0 ? outer.y0 : entrance == 1 ? outer.x1 : entrance == 2 ? outer.y1 : outer.x0;
        int from = (across ? outer.x0 : outer.y0) + 1, to = (across ? outer.x1 : outer.y1) - 1;
        std::vector<cell_pos> options;
        for (int k = from; k <= to; ++k) {
            int x = across ? k : at, y = across ? at : k;
            int ix = x + (entrance == 1 ? -1 : entrance == 3 ? 1 : 0);
            int iy = y + (entrance == 0 ? 1 : entrance == 2 ? -1 : 0);
            if (get(lp, ix, iy) == st.floor && is_wall(get(lp, x, y)))
                options.push_back({x, y});
        }
        if (!options.empty()) {
            cell_pos c = options[size_t(lcg_below(g, int(options.size())))];
            set(lp, c.x, c.y, door);
        }
    }
    return rooms;
}

void furnish_all(level_plan& lp, lcg& g, const std::vector<area>& rooms, std::initializer_list<room_kind> kinds,
                 uint8_t floor)
{
    std::vector<room_kind> list(kinds);
    size_t k = size_t(lcg_below(g, int(list.size())));
    for (const area& r : rooms) {
        furnish(lp, g, r, list[k % list.size()], floor);
        ++k;
    }
}

// Stairs or ladders into a room's free corner.
void passage_in(level_plan& lp, const std::vector<area>& rooms, size_t which, uint8_t floor, uint8_t t)
{
    if (rooms.empty())
        return;
    const area& r = rooms[which % rooms.size()];
    for (auto [x, y] : {std::pair{r.x1, r.y1}, {r.x0, r.y1}, {r.x1, r.y0}, {r.x0, r.y0}})
        if (place(lp, x, y, floor, t))
            return;
}

enum class theme { meadow, swamp, rocky, desert, cave };

// Open country, thicker with trees or rocks towards the map edge.
void countryside(level_plan& lp, lcg& g, theme th, int density)
{
    for (int y = 0; y < level_side; ++y)
        for (int x = 0; x < level_side; ++x) {
            int edge = std::min({x, y, level_side - 1 - x, level_side - 1 - y});
            int r = lcg_below(g, 100), extra = lcg_below(g, 100);
            bool obstacle = r < density - edge * 2;
            uint8_t t = grass;
            switch (th) {
            case theme::meadow:
                t = obstacle ? (r % 3 ? oak : forest)
                             : extra < 6 ? flowers : extra < 12 ? tall_grass : extra < 14 ? rose_bush : grass;
                break;
            case theme::swamp:
                t = obstacle ? (r % 4 ? oak : dead_tree)
                             : extra < 30 ? swamp : extra < 40 ? ferns : extra < 50 ? dark_grass : grass;
                break;
            case theme::rocky:
                t = obstacle ? (r % 2 ? boulder : oak)
                             : extra < 15 ? mossy_stones : extra < 30 ? plains : extra < 36 ? hills : grass;
                break;
            case theme::desert:
                t = obstacle ? (r % 2 ? cactus : dead_tree) : extra < 20 ? plains : extra < 24 ? palms : sand;
                break;
            case theme::cave:
                t = obstacle ? (r % 3 ? rock : stalagmites) : extra < 25 ? cave_pebbles : cave_floor;
                break;
            }
            set(lp, x, y, t);
        }
}

// Water all round, with the shore on the cells next to the land square
// from (2, 2) to (29, 29).
void island(level_plan& lp)
{
    auto land = [](int vx, int vy) { return vx >= 2 && vx <= 30 && vy >= 2 && vy <= 30; };
    for (int y = 0; y < level_side; ++y)
        for (int x = 0; x < level_side; ++x) {
            int bits = land(x, y) | land(x + 1, y) << 1 | land(x, y + 1) << 2 | land(x + 1, y + 1) << 3;
            if (bits == 15)
                continue;
            set(lp, x, y, bits ? shore_tile(bits, true, false) : shallows);
        }
}

// Four corners of shore tiles around their common point: a small
// diamond-shaped pond.
void pond(level_plan& lp, int x, int y)
{
    set(lp, x, y, 55);
    set(lp, x + 1, y, 54);
    set(lp, x, y + 1, 53);
    set(lp, x + 1, y + 1, 52);
}

// A road out of the map; on water it is a bridge.
void road_to_edge(level_plan& lp, int x, int y, int dx, int dy)
{
    for (; inside(x, y); x += dx, y += dy)
        set(lp, x, y, tile_class(get(lp, x, y)) & 1 ? bridge : road);
}

struct location_levels {
    bool below, above;
};

location_levels neighbours_of(int group, int location, uint8_t code)
{
    location_levels l{false, false};
    for (const slot_entry& s : map_slots[group]) {
        if (s.location != location)
            continue;
        if ((code == 0 && s.code == 255) || (code != 255 && s.code == uint8_t(code - 1)))
            l.below = true;
        if ((code == 255 && s.code == 0) || (code != 255 && s.code == uint8_t(code + 1)))
            l.above = true;
    }
    return l;
}

// Stairs up and a ladder down in the ground floor's rooms, as the location
// has levels above or below.
void ground_passages(level_plan& lp, const std::vector<area>& rooms, location_levels ll, uint8_t floor)
{
    if (ll.above)
        passage_in(lp, rooms, 0, floor, stairs_up);
    if (ll.below)
        passage_in(lp, rooms, 1, floor, ladder_down);
}

// A yard beside the buildings: what it holds varies.
void yard(level_plan& lp, lcg& g, area a, uint8_t ground)
{
    if (width_of(a) < 2 || height_of(a) < 2)
        return;
    fill_area(lp, a, ground);
    switch (lcg_below(g, 5)) {
    case 0:  // kitchen garden
        for (int y = a.y0; y <= a.y1; y += 2)
            for (int x = a.x0; x <= a.x1; ++x)
                set(lp, x, y, garden_bed);
        set(lp, a.x1, a.y1, scarecrow);
        break;
    case 1:  // graveyard
        for (int y = a.y0; y <= a.y1; y += 2)
            for (int x = a.x0 + (y / 2) % 2; x <= a.x1; x += 2)
                set(lp, x, y, gravestone);
        break;
    case 2:  // orchard
        for (int y = a.y0; y <= a.y1; y += 2)
            for (int x = a.x0; x <= a.x1; x += 3)
                set(lp, x, y, oak);
        set(lp, a.x1, a.y0, beehive);
        break;
    case 3:  // training ground
        for (int x = a.x0; x <= a.x1; x += 3)
            set(lp, x, a.y0, dummy);
        set(lp, a.x1, a.y1, weapon_rack);
        set(lp, a.x0, a.y1, haystack);
        break;
    default:  // fountain among flowers
        for (int y = a.y0; y <= a.y1; ++y)
            for (int x = a.x0; x <= a.x1; ++x)
                if (lcg_chance(g, 30))
                    set(lp, x, y, flowers);
        set(lp, (a.x0 + a.x1) / 2, (a.y0 + a.y1) / 2, fountain);
        set(lp, a.x0, a.y0, birdbath);
        break;
    }
}

// A quarter of a walled towne: a large house, a pair of cottages, or a
// garden. Returns the rooms of what it built.
std::vector<area> towne_plot(level_plan& lp, lcg& g, area q, int entrance, int variety)
{
    int choice = (variety + lcg_below(g, 5)) % 5;
    const building_style brick{brick_wall, brick_floor, stone_window};
    const building_style timber{wood_wall, planks, wood_window};
    const building_style stone{stone_wall, brick_floor, stone_window};
    if (choice == 4) {  // garden
        fill_area(lp, q, lawn);
        outline(lp, q, hedge);
        yard(lp, g, {q.x0 + 1, q.y0 + 1, q.x1 - 1, q.y1 - 1}, lawn);
        int mx = (q.x0 + q.x1) / 2, my = (q.y0 + q.y1) / 2;
        set(lp, entrance == 1 ? q.x1 : entrance == 3 ? q.x0 : mx, entrance == 0 ? q.y0 : entrance == 2 ? q.y1 : my,
            trail);
        if (width_of(q) >= 7 && height_of(q) >= 7)
            pond(lp, q.x0 + 1, q.y0 + 1);
        return {};
    }
    if (choice == 3) {  // two cottages side by side
        std::vector<area> rooms;
        if (width_of(q) >= height_of(q)) {
            int mid = q.x0 + width_of(q) / 2;
            rooms = building(lp, g, {q.x0, q.y0, mid - 1, q.y1}, timber, 1, entrance);
            auto b = building(lp, g, {mid, q.y0, q.x1, q.y1}, brick, 1, entrance);
            rooms.insert(rooms.end(), b.begin(), b.end());
        } else {
            int mid = q.y0 + height_of(q) / 2;
            rooms = building(lp, g, {q.x0, q.y0, q.x1, mid - 1}, timber, 1, entrance);
            auto b = building(lp, g, {q.x0, mid, q.x1, q.y1}, brick, 1, entrance);
            rooms.insert(rooms.end(), b.begin(), b.end());
        }
        furnish_all(lp, g, rooms, {room_kind::house, room_kind::bedroom, room_kind::kitchen}, brick_floor);
        furnish_all(lp, g, rooms, {room_kind::house}, planks);
        return rooms;
    }
    // One large building, pulled back from the sides away from the street.
    area outer = q;
    if (entrance != 3 && lcg_chance(g, 60))
        ++outer.x0;
    if (entrance != 1 && lcg_chance(g, 60))
        --outer.x1;
    if (entrance != 0 && lcg_chance(g, 60))
        ++outer.y0;
    if (entrance != 2 && lcg_chance(g, 60))
        --outer.y1;
    const building_style& st = choice == 0 ? stone : (choice == 1 ? brick : timber);
    auto rooms = building(lp, g, outer, st, 2, entrance);
    switch (choice) {
    case 0: furnish_all(lp, g, rooms, {room_kind::shop, room_kind::storage, room_kind::smithy}, st.floor); break;
    case 1: furnish_all(lp, g, rooms, {room_kind::inn, room_kind::tavern, room_kind::kitchen}, st.floor); break;
    default: furnish_all(lp, g, rooms, {room_kind::chapel, room_kind::library, room_kind::house}, st.floor); break;
    }
    // A sign on the street corner of the plot, if it is still open ground.
    int sx = entrance == 3 ? q.x0 : q.x1, sy = entrance == 0 ? q.y0 : q.y1;
    if (get(lp, sx, sy) == grass)
        set(lp, sx, sy, choice == 0 ? armoury_sign : (choice == 1 ? inn_sign : healer_sign));
    return rooms;
}

void towne_ground(level_plan& lp, lcg& g, location_levels ll)
{
    bool on_island = lp.location == 2 || lp.location == 6 || lp.location == 7;
    countryside(lp, g, lp.location == 3 ? theme::swamp : (lp.location == 4 ? theme::rocky : theme::meadow),
                lp.location == 3 ? 45 : 30);
    if (on_island)
        island(lp);
    int vx = 13 + lcg_below(g, 5), hy = 13 + lcg_below(g, 5);
    const uint8_t walls[3] = {wood_wall, stone_wall, brick_wall};
    fill_area(lp, {4, 4, 27, 27}, grass);
    outline(lp, {3, 3, 28, 28}, walls[lp.location % 3]);
    for (auto [x, y] : {std::pair{3, 3}, {28, 3}, {3, 28}, {28, 28}})
        set(lp, x, y, turret);
    for (int k = 0; k < 2; ++k) {
        for (int i = 3; i <= 28; ++i) {
            set(lp, vx + k, i, cobbles);
            set(lp, i, hy + k, cobbles);
        }
        road_to_edge(lp, vx + k, 2, 0, -1);
        road_to_edge(lp, vx + k, 29, 0, 1);
        road_to_edge(lp, 2, hy + k, -1, 0);
        road_to_edge(lp, 29, hy + k, 1, 0);
    }
    if (lp.location % 2)
        pond(lp, vx, hy);
    else
        set(lp, vx + 2, hy - 1, lamp_post);
    const area quarters[4] = {{4, 4, vx - 1, hy - 1}, {vx + 2, 4, 27, hy - 1},
                              {4, hy + 2, vx - 1, 27}, {vx + 2, hy + 2, 27, 27}};
    const int entrances[4][2] = {{1, 2}, {3, 2}, {1, 0}, {3, 0}};
    std::vector<area> first_rooms;
    for (int k = 0; k < 4; ++k) {
        auto rooms = towne_plot(lp, g, quarters[k], entrances[k][lcg_below(g, 2)], lp.slot + k * 2);
        if (first_rooms.size() < 2)
            first_rooms.insert(first_rooms.end(), rooms.begin(), rooms.end());
    }
    for (const area& r : first_rooms) {
        uint8_t f = get(lp, r.x0, r.y0) == planks ? planks : brick_floor;
        ground_passages(lp, {r}, ll, f);
        break;
    }
}

void castle_ground(level_plan& lp, lcg& g, location_levels ll)
{
    bool moat = lp.location <= 4;
    countryside(lp, g, lp.location == 6 ? theme::rocky : theme::meadow, 25);
    const uint8_t walls[3] = {stone_wall, brick_wall, rough_wall};
    uint8_t wall = walls[lp.location % 3];
    if (moat) {
        outline(lp, {3, 3, 28, 28}, shallows);
        outline(lp, {4, 4, 27, 27}, shallows);
    } else {
        outline(lp, {3, 3, 28, 28}, hedge);
    }
    fill_area(lp, {5, 5, 26, 26}, lawn);
    outline(lp, {5, 5, 26, 26}, wall);
    for (auto [x, y] : {std::pair{5, 5}, {26, 5}, {5, 26}, {26, 26}})
        set(lp, x, y, turret);
    for (int k = 15; k <= 16; ++k) {
        set(lp, k, 27, moat ? drawbridge_ns : cobbles);
        set(lp, k, 28, moat ? drawbridge_ns : cobbles);
        set(lp, 27, k, moat ? drawbridge_ew : cobbles);
        set(lp, 28, k, moat ? drawbridge_ew : cobbles);
        road_to_edge(lp, k, 29, 0, 1);
        road_to_edge(lp, 29, k, 1, 0);
        set(lp, k, 26, cobbles);
        set(lp, 26, k, cobbles);
    }
    set(lp, 14, 26, wall_torch);
    set(lp, 17, 26, wall_torch);
    area keep{7 + lcg_below(g, 3), 7 + lcg_below(g, 2), 20 + lcg_below(g, 5), 16 + lcg_below(g, 4)};
    const building_style keep_style{wall == rough_wall ? rough_wall : stone_wall, brick_floor, stained_glass};
    auto rooms = building(lp, g, keep, keep_style, 3, 2);
    furnish_all(lp, g, rooms,
                {room_kind::throne_room, room_kind::dining, room_kind::kitchen, room_kind::hall, room_kind::barracks,
                 room_kind::chapel, room_kind::library},
                brick_floor);
    ground_passages(lp, rooms, ll, brick_floor);
    // Courtyard: a path from the gates, a stable, and a yard or two.
    for (int y = keep.y1 + 1; y <= 25; ++y) {
        set(lp, 15, y, cobbles);
        set(lp, 16, y, cobbles);
    }
    for (int x = keep.x1 + 1; x <= 25; ++x)
        for (int k = 15; k <= 16; ++k)
            set(lp, x, k, cobbles);
    bool stable_left = lcg_chance(g, 50);
    area stable_area = stable_left ? area{6, keep.y1 + 2, 13, 25} : area{18, keep.y1 + 2, 25, 25};
    if (height_of(stable_area) >= 4) {
        auto stable = building(lp, g, stable_area, {wood_wall, dirt_floor, wood_window}, 0, stable_left ? 1 : 3);
        furnish_all(lp, g, stable, {room_kind::stable}, dirt_floor);
    }
    yard(lp, g, stable_left ? area{18, keep.y1 + 2, 25, 25} : area{6, keep.y1 + 2, 13, 25}, lawn);
    if (keep.x1 <= 22)
        yard(lp, g, {keep.x1 + 2, 6, 25, 13}, lawn);
    set(lp, 6, 6, well);
}

// The pirates' den: a harbour front with a palisade of taverns and stores.
void den_ground(level_plan& lp, lcg& g, location_levels ll)
{
    countryside(lp, g, theme::desert, 20);
    for (int y = 23; y < level_side; ++y)
        for (int x = 0; x < level_side; ++x)
            set(lp, x, y, y == 23 ? uint8_t(96) : (y < 26 ? shallows : water));
    fill_area(lp, {4, 4, 27, 20}, sand);
    outline(lp, {3, 3, 28, 21}, fence);
    for (int y = 21; y < 31; ++y)
        set(lp, 9, y, pier);
    for (int y = 0; y < 4; ++y)
        set(lp, 9, y, road);
    for (int y = 4; y < 21; ++y)
        set(lp, 9, y, cobbles);
    set(lp, 8, 27, dock_post);
    set(lp, 10, 29, skiff);
    set(lp, 22, 28, ship);
    auto tavern = building(lp, g, {11, 5, 26, 12}, {wood_wall, planks, wood_window}, 2, 3);
    furnish_all(lp, g, tavern, {room_kind::tavern, room_kind::inn, room_kind::kitchen}, planks);
    auto store = building(lp, g, {11, 14, 19, 20}, {wood_wall, planks, wood_window}, 1, 3);
    furnish_all(lp, g, store, {room_kind::storage, room_kind::shop}, planks);
    ground_passages(lp, tavern, ll, planks);
    set(lp, 5, 6, campfire);
    set(lp, 6, 9, tent);
    set(lp, 5, 13, barrel);
    set(lp, 6, 18, net);
    set(lp, 22, 17, woodpile);
}

void keep_ground(level_plan& lp, lcg& g, location_levels ll)
{
    const theme themes[8] = {theme::rocky, theme::meadow, theme::swamp, theme::meadow,
                             theme::rocky, theme::meadow, theme::meadow, theme::desert};
    countryside(lp, g, themes[lp.location], 35);
    if (lp.location == 7)
        island(lp);
    fill_area(lp, {4, 4, 27, 27}, dirt_floor);
    outline(lp, {3, 3, 28, 28}, rough_wall);
    for (auto [x, y] : {std::pair{3, 3}, {28, 3}, {3, 28}, {28, 28}})
        set(lp, x, y, turret);
    for (int k = 15; k <= 16; ++k) {
        for (int i = 3; i <= 4; ++i) {
            set(lp, k, i, cobbles);
            set(lp, k, 31 - i, cobbles);
        }
        road_to_edge(lp, k, 2, 0, -1);
        road_to_edge(lp, k, 29, 0, 1);
    }
    int split = 12 + lcg_below(g, 5);
    auto hall = building(lp, g, {5, 5, 26, split}, {rough_wall, stone_floor, barred_window}, 2, 2);
    furnish_all(lp, g, hall, {room_kind::barracks, room_kind::smithy, room_kind::hall, room_kind::kitchen},
                stone_floor);
    ground_passages(lp, hall, ll, stone_floor);
    bool chapel_left = lcg_chance(g, 50);
    area chapel_area = chapel_left ? area{5, split + 3, 13, 26} : area{18, split + 3, 26, 26};
    auto chapel = building(lp, g, chapel_area, {stone_wall, brick_floor, stained_glass}, 0, chapel_left ? 1 : 3);
    furnish_all(lp, g, chapel, {room_kind::chapel}, brick_floor);
    for (int y = split + 1; y <= 26; ++y)
        for (int k = 15; k <= 16; ++k)
            set(lp, k, y, cobbles);
    yard(lp, g, chapel_left ? area{18, split + 3, 26, 26} : area{5, split + 3, 13, 26}, dirt_floor);
}

void dwelling_ground(level_plan& lp, lcg& g, location_levels ll)
{
    // Each hut stands in its own country: swamp, hills, meadow, coast,
    // forest, lake, desert, cave.
    const theme themes[8] = {theme::swamp,  theme::rocky,  theme::meadow, theme::meadow,
                             theme::meadow, theme::meadow, theme::desert, theme::cave};
    const building_style styles[3] = {{wood_wall, planks, wood_window},
                                      {stone_wall, stone_floor, stone_window},
                                      {brick_wall, brick_floor, stone_window}};
    theme th = themes[lp.location];
    countryside(lp, g, th, lp.location == 4 ? 65 : 45);
    if (lp.location == 3)  // on the coast
        for (int y = 0; y < level_side; ++y)
            for (int x = 24; x < level_side; ++x)
                set(lp, x, y, x == 24 ? uint8_t(99) : (x < 27 ? shallows : water));
    if (lp.location == 5)  // on a lake island
        island(lp);
    int cx = 13 + lcg_below(g, 4), cy = 13 + lcg_below(g, 4);
    uint8_t ground = th == theme::desert ? sand : (th == theme::cave ? cave_floor : grass);
    for (int y = 4; y < 28; ++y)
        for (int x = 4; x < 24; ++x) {
            int dx = x - cx, dy = y - cy;
            if (dx * dx * 4 + dy * dy * 5 < 300)
                set(lp, x, y, lcg_chance(g, 10) && th == theme::meadow ? flowers : ground);
        }
    const building_style& st = styles[lp.location % 3];
    int w = 8 + lcg_below(g, 3), h = 7 + lcg_below(g, 2);
    area hut{cx - w / 2, cy - h / 2, cx - w / 2 + w - 1, cy - h / 2 + h - 1};
    auto rooms = building(lp, g, hut, st, 1, 2);
    furnish_all(lp, g, rooms, {room_kind::house, room_kind::kitchen, room_kind::library, room_kind::bedroom}, st.floor);
    ground_passages(lp, rooms, ll, st.floor);
    for (int y = hut.y1 + 1; y < level_side; ++y)
        set(lp, cx + (y % 4 == 0 ? 1 : 0), y, trail);
    area garden{hut.x1 + 2, hut.y0, hut.x1 + 5, hut.y0 + 4};
    fill_area(lp, garden, garden_bed);
    outline(lp, garden, fence);
    set(lp, garden.x0, garden.y0 + 2, trail);
    pond(lp, hut.x0 - 4, hut.y1 - 1);
    set(lp, hut.x0 - 3, hut.y0 + 1, woodpile);
    set(lp, hut.x0 - 2, hut.y1 + 2, campfire);
}

void upper_floor(level_plan& lp, lcg& g, location_levels ll)
{
    fill_area(lp, {0, 0, 31, 31}, nothing);
    int shrink = lp.code * 2;
    std::vector<area> rooms;
    switch (lp.group) {
    case 0: {  // castle: the keep's upper floors, battlements round them
        area a{6 + lcg_below(g, 3) + shrink, 6 + lcg_below(g, 2) + shrink / 2, 25 - lcg_below(g, 3) - shrink,
               25 - lcg_below(g, 3) - shrink / 2};
        outline(lp, {a.x0 - 1, a.y0 - 1, a.x1 + 1, a.y1 + 1}, battlement);
        rooms = building(lp, g, a, {stone_wall, brick_floor, stained_glass}, 3, -1);
        furnish_all(lp, g, rooms,
                    {room_kind::bedroom, room_kind::library, room_kind::throne_room, room_kind::hall,
                     room_kind::dining, room_kind::storage},
                    brick_floor);
        for (int cx : {a.x0 - 1, a.x1 + 1})
            for (int cy : {a.y0 - 1, a.y1 + 1})
                set(lp, cx, cy, turret);
        break;
    }
    case 1: {  // dwelling: a small tower room or two
        area a{9 + lcg_below(g, 4), 9 + lcg_below(g, 3), 19 + lcg_below(g, 4), 18 + lcg_below(g, 3)};
        rooms = building(lp, g, a, {wood_wall, planks, wood_window}, 1, -1);
        furnish_all(lp, g, rooms, {room_kind::bedroom, room_kind::library, room_kind::storage}, planks);
        break;
    }
    case 2: {  // keep
        area a{5 + shrink + lcg_below(g, 2), 5 + lcg_below(g, 3), 26 - shrink - lcg_below(g, 2), 20 + lcg_below(g, 4)};
        outline(lp, {a.x0 - 1, a.y0 - 1, a.x1 + 1, a.y1 + 1}, battlement);
        rooms = building(lp, g, a, {rough_wall, stone_floor, barred_window}, 2, -1);
        furnish_all(lp, g, rooms, {room_kind::barracks, room_kind::library, room_kind::chapel, room_kind::storage},
                    stone_floor);
        break;
    }
    default: {  // towne: upper storeys of some houses, roofs of the others
        const area quarters[4] = {{5, 5, 13, 13}, {18, 5, 26, 13}, {5, 18, 13, 26}, {18, 18, 26, 26}};
        int storeys = lcg_below(g, 4);
        for (int k = 0; k < 4; ++k) {
            area q = quarters[k];
            if (k == storeys || (k == (storeys + 2) % 4 && lcg_chance(g, 60))) {
                bool timber = lcg_chance(g, 50);
                q.x0 += lcg_below(g, 2);
                q.y1 -= lcg_below(g, 2);
                auto r = building(lp, g, q, timber ? building_style{wood_wall, planks, wood_window}
                                                   : building_style{brick_wall, brick_floor, stone_window},
                                  1, -1);
                furnish_all(lp, g, r, {room_kind::inn, room_kind::bedroom, room_kind::library, room_kind::storage},
                            timber ? planks : brick_floor);
                rooms.insert(rooms.end(), r.begin(), r.end());
            } else if (lcg_chance(g, 75)) {
                fill_area(lp, q, lcg_chance(g, 50) ? red_roof : thatch);
                set(lp, q.x0 + 2 + lcg_below(g, 4), q.y0 + 2, chimney);
            }
        }
        break;
    }
    }
    for (size_t k = 0; k < rooms.size(); ++k) {
        uint8_t f = get(lp, rooms[k].x0, rooms[k].y1);
        if (tile_class(f) != 2)
            continue;
        passage_in(lp, rooms, k, f, stairs_down);
        if (ll.above)
            passage_in(lp, rooms, k + 1, f, stairs_up);
        break;
    }
}

void basement(level_plan& lp, lcg& g)
{
    fill_area(lp, {0, 0, 31, 31}, rock);
    for (int y = 0; y < level_side; ++y)
        for (int x = 0; x < level_side; ++x)
            if (lcg_chance(g, 6))
                set(lp, x, y, lcg_chance(g, 50) ? glowing_rock : ore_vein);
    area a{5 + lcg_below(g, 2), 4 + lcg_below(g, 2), 26 - lcg_below(g, 2), 27 - lcg_below(g, 2)};
    auto rooms = building(lp, g, a, {rock, flagstones, rock}, 3, -1);
    furnish_all(lp, g, rooms,
                {room_kind::prison, room_kind::cellar, room_kind::storage, room_kind::crypt, room_kind::well_room},
                flagstones);
    passage_in(lp, rooms, 0, flagstones, ladder_up);
    // Rubble and dirt patches so the cellar floor is not uniform.
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x)
            if (get(lp, x, y) == flagstones && lcg_chance(g, 15))
                set(lp, x, y, dirt_floor);
}

// Mirror images of the tiles that have a direction.
constexpr std::pair<uint8_t, uint8_t> mirror_x[] = {
    {chair_right, chair_left}, {52, 53}, {54, 55}, {228, 229}, {230, 231},
    {97, 99}, {103, 105}, {100, 101}, {106, 107}};
constexpr std::pair<uint8_t, uint8_t> mirror_y[] = {
    {chair_up, chair_down}, {table_top, table_bottom}, {pew_up, pew_down}, {52, 54}, {53, 55}, {228, 230},
    {229, 231}, {96, 98}, {102, 104}, {100, 101}, {106, 107}};

template <size_t N>
uint8_t mirrored(uint8_t t, const std::pair<uint8_t, uint8_t> (&pairs)[N])
{
    for (auto [a, b] : pairs) {
        if (t == a)
            return b;
        if (t == b)
            return a;
    }
    return t;
}

// Turns a level left-for-right and/or upside down, so that levels built by
// the same plan do not look alike.
void flip_level(level_plan& lp, bool fx, bool fy)
{
    std::array<uint8_t, level_bytes> out{};
    for (int y = 0; y < level_side; ++y)
        for (int x = 0; x < level_side; ++x) {
            uint8_t t = get(lp, fx ? level_side - 1 - x : x, fy ? level_side - 1 - y : y);
            if (fx)
                t = mirrored(t, mirror_x);
            if (fy)
                t = mirrored(t, mirror_y);
            out[size_t(y * level_side + x)] = t;
        }
    lp.tiles = out;
    for (cell_pos& p : lp.posts) {
        if (fx)
            p.x = level_side - 1 - p.x;
        if (fy)
            p.y = level_side - 1 - p.y;
    }
    // Lamps light the floor below them: hang any that now stand below
    // their floor one cell higher.
    if (fy)
        for (int y = 1; y < level_side; ++y)
            for (int x = 0; x < level_side; ++x)
                if (get(lp, x, y) == lamp && get(lp, x, y - 1) == brick_floor &&
                    (y == level_side - 1 || get(lp, x, y + 1) != brick_floor)) {
                    set(lp, x, y - 1, lamp);
                    set(lp, x, y, brick_floor);
                }
}

}  // namespace

void build_levels(std::vector<level_plan>& levels)
{
    levels.assign(size_t(4 * levels_per_group), level_plan{});
    for (int gi = 0; gi < 4; ++gi)
        for (int slot = 0; slot < levels_per_group; ++slot) {
            level_plan& lp = levels[size_t(gi * levels_per_group + slot)];
            lp.group = gi;
            lp.slot = slot;
            lp.location = map_slots[gi][slot].location;
            lp.code = map_slots[gi][slot].code;
            lcg g{hash_xy(gi, slot, 0x5EED)};
            location_levels ll = neighbours_of(gi, lp.location, lp.code);
            if (lp.code == 255)
                basement(lp, g);
            else if (lp.code > 0)
                upper_floor(lp, g, ll);
            else if (gi == 0 && lp.location == 7)
                den_ground(lp, g, ll);
            else if (gi == 0)
                castle_ground(lp, g, ll);
            else if (gi == 1)
                dwelling_ground(lp, g, ll);
            else if (gi == 2)
                keep_ground(lp, g, ll);
            else
                towne_ground(lp, g, ll);
            uint32_t turn = hash_xy(gi, slot, 0xF11B);
            if (!(gi == 0 && lp.location == 7))  // the den keeps its harbour at the bottom
                flip_level(lp, turn & 1, (turn >> 1) & 1);
        }
}

void collect_places(level_plan& lp)
{
    std::vector<cell_pos> posts;
    for (cell_pos p : lp.posts)
        if (!lp.reserved[size_t(p.y * level_side + p.x)] && tile_class(get(lp, p.x, p.y)) == 2)
            posts.push_back(p);
    lp.posts = posts;
    lp.beds.clear();
    lp.seats.clear();
    lp.floors.clear();
    lp.outdoors.clear();
    lp.waters.clear();
    for (int y = 0; y < level_side; ++y)
        for (int x = 0; x < level_side; ++x) {
            if (lp.reserved[size_t(y * level_side + x)])
                continue;
            uint8_t t = get(lp, x, y);
            switch (t) {
            case bed_head_up: case bed_head_left: case straw:
                lp.beds.push_back({x, y});
                break;
            case chair_up: case chair_right: case chair_down: case chair_left: case pew_up: case pew_down:
            case armchair: case stool: case prayer_mat:
                lp.seats.push_back({x, y});
                break;
            case brick_floor: case planks: case stone_floor: case kitchen_floor: case flagstones: case dirt_floor:
            case carpet: case rug:
                lp.floors.push_back({x, y});
                break;
            case grass: case cobbles: case road: case lawn: case flowers: case tall_grass: case trail: case sand:
                lp.outdoors.push_back({x, y});
                break;
            default:
                if (tile_class(t) & 1)
                    lp.waters.push_back({x, y});
                break;
            }
        }
}

}  // namespace sample
