"""A model of settlement levels, for end-to-end checks of the settlement mappers.

Written from the description of the data and the drawing, independently of the C++ code.
Standard library only. What it offers:

- GROUPS: the four settlement groups in drawing order, each a Group(map_file, npc_file,
  locations); SLOTS[group][slot]: (location index, level code) of the 16 level slots.
- level_name(code): "B1F", "1F" .. "4F" or "unknown".
- TILE_CLASS, KIND_CLASS and may_stand_on(kind, tile).
- choose_entry(record, hour): schedule entry 0, 1 or 2 of a 16-byte NPC record.
- place_npcs(level, block, level_code, hour): (grid, lines); grid holds 1024 NPC kinds, cell
  (x, y) at 32 * y + x, 0 for none; lines are the trace lines, without line ends.
- npc_picture(kind, level, x, y): the picture drawn for an NPC (the pose change).
- drawn_tile(level, x, y, hour): the picture of a map cell with the night substitutions.
- draw_level(pictures, level, block, level_code, hour, no_npcs, no_pose_change, mask=None,
  block_size=576, trace=None): the level's pixel rows (32 cells of pictures across and down,
  one value per pixel). pictures[p] (p = 0..511) is a list of rows of pixel values, all of
  one tile size; mask, when given, has the same form and keeps the map's pixel under an NPC
  picture wherever it is non-zero. The trace lines are appended to `trace` when given.
- location_block(npc_data, location, block_size=576): the NPC block of a location.
- level_file_name(group, slot, hour, hour_in_names=True): "zk.<location>.<level>.<hh>.bmp".
- draw_group(...): the files and console lines of a whole group.

Levels are 1024 bytes (32 rows of 32 tile numbers); NPC blocks hold 32 records of 16 bytes,
then 32 kind bytes at offset 512 (the first 576 bytes of a block of any size).
"""

from collections import namedtuple

LEVEL_SIDE = 32
LEVEL_BYTES = LEVEL_SIDE * LEVEL_SIDE
NPC_COUNT = 32
RECORD_BYTES = 16
KINDS_AT = 512
BLOCK_BYTES = 576
BASEMENT = 255

Group = namedtuple("Group", "map_file npc_file locations")

GROUPS = [
    Group("CASTLE.DAT", "CASTLE.NPC",
          ["Castle_Britannia", "Blackthorn's_Palace", "West_Britanny", "North_Britanny", "East_Britanny", "Paws",
           "Cove", "Buccaneer's_Den"]),
    Group("DWELLING.DAT", "DWELLING.NPC",
          ["Fogsbane", "Stormcrow", "Grayhaven", "Waveguide", "Iolo's_Hut", "Sutek's_Hut", "Sin'Vraal's_Hut",
           "Grendel's_Hut"]),
    Group("KEEP.DAT", "KEEP.NPC",
          ["Ararat", "Bordermarch", "Farthing", "Windemere", "Stonegate", "The_Lycaeum", "Empath_Abbey",
           "Serpent's_Hold"]),
    Group("TOWNE.DAT", "TOWNE.NPC",
          ["Moonglow", "Britain", "Jhelom", "Yew", "Minoc", "Trinsic", "Skara_Brae", "New_Magincia"]),
]

_LEVEL_CODES = {"B1F": BASEMENT, "1F": 0, "2F": 1, "3F": 2, "4F": 3}


def _slots(text):
    """'0 B1F, 0 1F, ...' -> [(0, 255), (0, 0), ...]"""
    pairs = [item.split() for item in text.split(",")]
    return [(int(location), _LEVEL_CODES[level]) for location, level in pairs]


SLOTS = [
    _slots("0 B1F, 0 1F, 0 2F, 0 3F, 0 4F, 1 B1F, 1 1F, 1 2F, 1 3F, 1 4F, 2 1F, 3 1F, 4 1F, 5 1F, 6 1F, 7 1F"),
    _slots("0 1F, 0 2F, 0 3F, 1 1F, 1 2F, 1 3F, 2 1F, 2 2F, 2 3F, 3 1F, 3 2F, 3 3F, 4 1F, 5 1F, 6 1F, 7 1F"),
    _slots("0 1F, 0 2F, 1 1F, 1 2F, 2 1F, 3 1F, 4 1F, 5 1F, 5 2F, 5 3F, 6 1F, 6 2F, 6 3F, 7 B1F, 7 1F, 7 2F"),
    _slots("0 1F, 0 2F, 1 1F, 1 2F, 2 1F, 2 2F, 3 B1F, 3 1F, 4 1F, 4 2F, 5 1F, 5 2F, 6 1F, 6 2F, 7 1F, 7 2F"),
]


def level_name(code):
    return {BASEMENT: "B1F", 0: "1F", 1: "2F", 2: "3F", 3: "4F"}.get(code, "unknown")


def _table(ranges):
    """A 256-entry table from {value: 'a-b, c, ...'}; every other entry 0."""
    table = [0] * 256
    for value, text in ranges.items():
        for part in text.split(","):
            first, _, last = part.strip().partition("-")
            for n in range(int(first), int(last or first) + 1):
                table[n] = value
    return table


TILE_CLASS = _table({
    1: "1-3, 96-105, 108-111",
    2: "4-11, 14-15, 28-38, 44-45, 48-51, 64, 68-69, 71-73, 106-107, 128-129, 132-135, 139-140, 143-147, "
       "170-172, 196-201, 221",
    3: "52-55",
    4: "87",
})

KIND_CLASS = _table({
    1: "32-47, 128-143, 236-239",
    2: "1-17, 27, 30, 64-95, 104-127, 144-147, 152-155, 160-183, 192-211, 224-235, 244-255",
    3: "148-151, 156-159, 188-191, 212-223, 240-243",
    6: "184-187",
})

# left, right, up, down, up-left, up-right, down-left, down-right
NEIGHBOURS = [(-1, 0), (1, 0), (0, -1), (0, 1), (-1, -1), (1, -1), (-1, 1), (1, 1)]


def may_stand_on(kind, tile):
    return (TILE_CLASS[tile] & KIND_CLASS[kind]) != 0


def _in_window(hour, start, end):
    if start <= end:
        return start <= hour < end
    return hour >= start or hour < end


def choose_entry(record, hour):
    """Entry 0 in window 0 (bytes 12-13), else 2 in window 1 (bytes 14-15), else 1."""
    if _in_window(hour, record[12], record[13]):
        return 0
    if _in_window(hour, record[14], record[15]):
        return 2
    return 1


def _record(block, i):
    return block[RECORD_BYTES * i:RECORD_BYTES * (i + 1)]


def _report(record, entry, level_code, kind, closing):
    line = "(%02X,%02X,%02X) = %02X(%02X)" % (record[3 + entry], record[6 + entry], level_code, kind, record[entry])
    if entry == 0:
        line += " %02d-%02d" % (record[12], record[13])
    elif entry == 2:
        line += " %02d-%02d" % (record[14], record[15])
    return line + " ... " + closing


def place_npcs(level, block, level_code, hour):
    grid = [0] * LEVEL_BYTES
    pending = [None] * NPC_COUNT
    lines = []
    for i in range(NPC_COUNT):
        kind = block[KINDS_AT + i]
        if kind in (0, 28):
            continue
        record = _record(block, i)
        entry = choose_entry(record, hour)
        if record[9 + entry] != level_code:
            continue
        x, y = record[3 + entry], record[6 + entry]
        if x >= LEVEL_SIDE or y >= LEVEL_SIDE:
            # Off the level: reported at once, neither drawn nor moved.
            lines.append("[%02X] %02X (%02X, %02X) ... can't locate" % (i, kind, x, y))
        elif grid[LEVEL_SIDE * y + x]:
            pending[i] = entry
            lines.append(_report(record, entry, level_code, kind, "multi NPCs at same location"))
        elif may_stand_on(kind, level[LEVEL_SIDE * y + x]):
            grid[LEVEL_SIDE * y + x] = kind
        else:
            pending[i] = entry
            lines.append(_report(record, entry, level_code, kind, "can't locate here"))

    for i in range(NPC_COUNT):
        if pending[i] is None:
            continue
        record = _record(block, i)
        kind = block[KINDS_AT + i]
        x, y = record[3 + pending[i]], record[6 + pending[i]]
        candidates = []
        for dx, dy in NEIGHBOURS:
            nx, ny = x + dx, y + dy
            if 0 <= nx < LEVEL_SIDE and 0 <= ny < LEVEL_SIDE and grid[LEVEL_SIDE * ny + nx] == 0 \
                    and may_stand_on(kind, level[LEVEL_SIDE * ny + nx]):
                candidates.append((nx, ny))
        if not candidates:
            lines.append("[%02X] %02X (%02X, %02X) ... can't locate" % (i, kind, x, y))
            continue
        nx, ny = candidates[0]
        if level[LEVEL_SIDE * ny + nx] in (171, 172):
            for cx, cy in candidates[1:]:
                if level[LEVEL_SIDE * cy + cx] == 68:
                    nx, ny = cx, cy
                    break
        lines.append("[%02X] %02X (%02X, %02X) -> (%02X, %02X)" % (i, kind, x, y, nx, ny))
        grid[LEVEL_SIDE * ny + nx] = kind
    return grid, lines


def npc_picture(kind, level, x, y):
    p = 256 + kind
    t = level[LEVEL_SIDE * y + x]
    if 320 <= p <= 351 or 360 <= p <= 383:
        if t == 128:
            return 130
        if t == 129:
            return 131
        if t == 132:
            return 352 + p % 4
        if t == 133:
            return 356 + p % 4
        if t == 144:
            if y > 0 and level[LEVEL_SIDE * (y - 1) + x] in (155, 156):
                return 312 + p % 4
            return 304
        if t == 145:
            return 305
        if t == 146:
            if y <= 30 and level[LEVEL_SIDE * (y + 1) + x] in (154, 156):
                return 308 + p % 4
            return p if 348 <= p <= 351 else 306
        if t == 147:
            return 307
        if t == 171:
            return 282
        if t == 200:
            return 279
        if t == 201:
            return 280
        return p
    if 440 <= p <= 443 and t == 87:
        return 56
    return p


def is_night(hour):
    return hour <= 4 or hour >= 20


def drawn_tile(level, x, y, hour):
    t = level[LEVEL_SIDE * y + x]
    if is_night(hour):
        if t in (72, 73):
            return 3
        if t == 68 and y > 0 and level[LEVEL_SIDE * (y - 1) + x] == 135:
            return 153
    return t


def location_block(npc_data, location, block_size=BLOCK_BYTES):
    return npc_data[location * block_size:(location + 1) * block_size]


def draw_level(pictures, level, block, level_code, hour, no_npcs, no_pose_change, mask=None,
               block_size=BLOCK_BYTES, trace=None):
    """The level's pixel rows: a list of 32 x tile height rows, each a list of 32 x tile
    width pixel values. `block` is the location's NPC block (at least 576 of its
    `block_size` bytes)."""
    assert len(block) >= BLOCK_BYTES and block_size >= BLOCK_BYTES
    height = len(pictures[0])
    rows = []
    for y in range(LEVEL_SIDE):
        cells = [pictures[drawn_tile(level, x, y, hour)] for x in range(LEVEL_SIDE)]
        for r in range(height):
            row = []
            for picture in cells:
                row.extend(picture[r])
            rows.append(row)
    if no_npcs:
        return rows
    grid, lines = place_npcs(level, block, level_code, hour)
    if trace is not None:
        trace.extend(lines)
    width = len(pictures[0][0])
    for y in range(LEVEL_SIDE):
        for x in range(LEVEL_SIDE):
            kind = grid[LEVEL_SIDE * y + x]
            if not kind:
                continue
            p = 256 + kind if no_pose_change else npc_picture(kind, level, x, y)
            for r in range(height):
                row = rows[y * height + r]
                source = pictures[p][r]
                if mask is None:
                    row[x * width:(x + 1) * width] = source
                else:
                    keep = mask[p][r]
                    for c in range(width):
                        if not keep[c]:
                            row[x * width + c] = source[c]
    return rows


def level_file_name(group, slot, hour, hour_in_names=True):
    location, code = SLOTS[group][slot]
    name = "zk.%s.%s" % (GROUPS[group].locations[location], level_name(code))
    if hour_in_names:
        name += ".%02d" % hour
    return name + ".bmp"


def draw_group(pictures, group, map_data, npc_data, hour, no_npcs, no_pose_change, mask=None,
               block_size=BLOCK_BYTES, hour_in_names=True, slots=range(16)):
    """[(file name, pixel rows)] of the chosen slots, and the console lines of the whole
    group (location lines and trace, without line ends; slots not drawn still print)."""
    files = []
    console = []
    for slot in range(16):
        location, code = SLOTS[group][slot]
        console.append("[%s]" % GROUPS[group].locations[location])
        level = map_data[1024 * slot:1024 * (slot + 1)]
        block = location_block(npc_data, location, block_size)
        if slot in slots:
            rows = draw_level(pictures, level, block, code, hour, no_npcs, no_pose_change, mask, block_size, console)
            files.append((level_file_name(group, slot, hour, hour_in_names), rows))
        elif not no_npcs:
            console.extend(place_npcs(level, block, code, hour)[1])
    return files, console


def group_console(group, map_data, npc_data, hour, no_npcs=False, block_size=BLOCK_BYTES):
    """The console lines of a whole group, without drawing."""
    return draw_group(None, group, map_data, npc_data, hour, no_npcs, False, None, block_size, slots=())[1]
