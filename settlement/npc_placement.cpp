// Placing a level's NPCs by their schedules, and the pose change.
#include "npc_placement.hpp"

#include <cstdio>

namespace {

constexpr uint8_t no_entry = 255;

// Neighbour order: left, right, up, down, up-left, up-right, down-left, down-right.
constexpr int neighbour_dx[8] = {-1, 1, 0, 0, -1, 1, -1, 1};
constexpr int neighbour_dy[8] = {0, 0, -1, 1, -1, -1, 1, 1};

bool in_window(unsigned hour, unsigned start, unsigned end)
{
    if (start <= end) return start <= hour && hour < end;
    return hour >= start || hour < end;  // wraps past midnight
}

size_t cell(int x, int y) { return static_cast<size_t>(level_size * y + x); }

// Prints the report of an NPC that can't take its scheduled cell.
void report_conflict(const npc_record& record, int entry, uint8_t level_code, uint8_t kind, const char* reason)
{
    std::printf("(%02X,%02X,%02X) = %02X(%02X)", record.x[entry], record.y[entry], level_code, kind,
                record.slot_code[entry]);
    if (entry == 0) std::printf(" %02d-%02d", record.window0_start, record.window0_end);
    if (entry == 2) std::printf(" %02d-%02d", record.window1_start, record.window1_end);
    std::printf(" ... %s\n", reason);
}

// Moves an NPC that lost its scheduled cell (x, y) to the first free neighbour it may stand
// on, preferring a later tile 68 to a first 171 or 172.
void move_npc(const uint8_t* level, npc_grid& grid, int index, uint8_t kind, int x, int y)
{
    auto qualifies = [&](int n) {
        const int nx = x + neighbour_dx[n];
        const int ny = y + neighbour_dy[n];
        return nx >= 0 && nx < level_size && ny >= 0 && ny < level_size && grid[cell(nx, ny)] == 0 &&
               may_stand_on(kind, level[cell(nx, ny)]);
    };
    auto tile_of = [&](int n) { return level[cell(x + neighbour_dx[n], y + neighbour_dy[n])]; };
    int taken = -1;
    for (int n = 0; n < 8 && taken < 0; ++n)
        if (qualifies(n)) taken = n;
    if (taken < 0) {
        std::printf("[%02X] %02X (%02X, %02X) ... can't locate\n", index, kind, x, y);
        return;
    }
    if (tile_of(taken) == 171 || tile_of(taken) == 172) {
        for (int n = taken + 1; n < 8; ++n) {
            if (qualifies(n) && tile_of(n) == 68) {
                taken = n;
                break;
            }
        }
    }
    const int nx = x + neighbour_dx[taken];
    const int ny = y + neighbour_dy[taken];
    std::printf("[%02X] %02X (%02X, %02X) -> (%02X, %02X)\n", index, kind, x, y, nx, ny);
    grid[cell(nx, ny)] = kind;
}

} // namespace

int choose_entry(const npc_record& record, unsigned hour)
{
    if (in_window(hour, record.window0_start, record.window0_end)) return 0;
    if (in_window(hour, record.window1_start, record.window1_end)) return 2;
    return 1;
}

void place_npcs(const uint8_t* level, const uint8_t* block, uint8_t level_code, unsigned hour, npc_grid& grid)
{
    uint8_t pending[npcs_per_location];
    grid.fill(0);
    for (uint8_t& entry : pending) entry = no_entry;

    for (int i = 0; i < npcs_per_location; ++i) {
        const uint8_t kind = npc_kind(block, i);
        if (kind == 0 || kind == 28) continue;
        const npc_record record = read_npc_record(block, i);
        const int entry = choose_entry(record, hour);
        if (record.level[entry] != level_code) continue;
        const int x = record.x[entry];
        const int y = record.y[entry];
        if (x >= level_size || y >= level_size) {
            // Off the level: reported, neither drawn nor moved.
            std::printf("[%02X] %02X (%02X, %02X) ... can't locate\n", i, kind, x, y);
        } else if (grid[cell(x, y)] != 0) {
            pending[i] = static_cast<uint8_t>(entry);
            report_conflict(record, entry, level_code, kind, "multi NPCs at same location");
        } else if (may_stand_on(kind, level[cell(x, y)])) {
            grid[cell(x, y)] = kind;
        } else {
            pending[i] = static_cast<uint8_t>(entry);
            report_conflict(record, entry, level_code, kind, "can't locate here");
        }
    }

    for (int i = 0; i < npcs_per_location; ++i) {
        if (pending[i] == no_entry) continue;
        const npc_record record = read_npc_record(block, i);
        move_npc(level, grid, i, npc_kind(block, i), record.x[pending[i]], record.y[pending[i]]);
    }
}

unsigned npc_picture(uint8_t kind, const uint8_t* level, int x, int y)
{
    const unsigned p = 256u + kind;
    const uint8_t tile = level[cell(x, y)];
    if ((p >= 320 && p <= 351) || (p >= 360 && p <= 383)) {
        switch (tile) {
        case 128: return 130;
        case 129: return 131;
        case 132: return 352 + p % 4;
        case 133: return 356 + p % 4;
        case 144: {
            const bool above_matches = y > 0 && (level[cell(x, y - 1)] == 155 || level[cell(x, y - 1)] == 156);
            return above_matches ? 312 + p % 4 : 304;
        }
        case 145: return 305;
        case 146: {
            const bool below = y <= 30 && (level[cell(x, y + 1)] == 154 || level[cell(x, y + 1)] == 156);
            if (below) return 308 + p % 4;
            return (p >= 348 && p <= 351) ? p : 306;
        }
        case 147: return 307;
        case 171: return 282;
        case 200: return 279;
        case 201: return 280;
        default: return p;
        }
    }
    if (p >= 440 && p <= 443 && tile == 87) return 56;
    return p;
}
