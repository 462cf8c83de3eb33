#!/usr/bin/env python3
"""zkatlas in headless Chromium: maps drawn by the mappers from the sample data (the X68000
world maps as PNG), one damaged map and one map saved as PNG by Pillow; the index, deep links (pixels compared with the map
files through Pillow), the cell readout, the grid and the address kept up to date.

usage: check_atlas.py ZKATLAS HOLVIK GARVIK ESKVIK MAKE_SAMPLE_DATA [SCREENSHOT.png]
"""
import glob
import os
import subprocess
import sys
import tempfile

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Browser  # noqa: E402

ZKATLAS, HOLVIK, GARVIK, ESKVIK, MAKE_SAMPLE_DATA = map(os.path.abspath, sys.argv[1:6])
LOADED = "document.body.dataset.ready && atlas_viewer.world.getItemAt(0).getFullyLoaded()"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True)


def centre_cell_matches(browser, shot, map_file, cell, cells, zoom):
    """The cell's pixels, each zoom x zoom screen pixels, centred in the view."""
    picture = Image.open(map_file).convert("RGB")
    cell_w, cell_h = picture.width // cells, picture.height // cells
    view = browser.evaluate("(r => [r.left, r.top, r.width, r.height])(document.getElementById('view').getBoundingClientRect())")
    left = view[0] + view[2] / 2 - cell_w * zoom / 2
    top = view[1] + view[3] / 2 - cell_h * zoom / 2
    screen = Image.open(shot).convert("RGB")
    wrong = [(i, j) for j in range(cell_h) for i in range(cell_w)
             if screen.getpixel((int(left + zoom * i + zoom / 2), int(top + zoom * j + zoom / 2))) !=
             picture.getpixel((cell[0] * cell_w + i, cell[1] * cell_h + j))]
    return not wrong, view


def main():
    work = tempfile.TemporaryDirectory()
    top = work.name
    run([MAKE_SAMPLE_DATA, "sample"], top)
    pc, xdf = os.path.join(top, "sample/pc"), os.path.join(top, "sample/x68k/zk-britannia.xdf")
    maps = {"pc/world": [HOLVIK, "-g", "-i", "--ega", pc + "/TILES.16", pc],
            "pc/settlements": [GARVIK, "--ega", pc + "/TILES.16", pc],
            "x68000/world": [ESKVIK, "--png", "-d", xdf]}
    for folder, command in maps.items():
        os.makedirs(os.path.join(top, "maps", folder))
        check(run(command, os.path.join(top, "maps", folder)).returncode == 0, f"draw {folder}")
    towns = os.path.join(top, "maps/pc/settlements")
    Image.open(towns + "/zk.Yew.1F.12.bmp").save(towns + "/zk.Yew.1F.07.png")
    with open(towns + "/zk.Yew.1F.12.bmp", "rb") as whole, open(towns + "/zk.Cove.B1F.12.bmp", "wb") as damaged:
        damaged.write(whole.read()[:5000])
    with open(towns + "/notes.txt", "w") as notes:
        notes.write("not a map\n")

    result = run([ZKATLAS, "-o", "atlas", "maps"], top)
    lines = result.stdout.splitlines()
    check(result.returncode == 1, "a damaged map gives status 1")
    check("error: read map 'maps/pc/settlements/zk.Cove.B1F.12.bmp'" in lines, "the damaged map is named")
    check("ignored 'maps/pc/settlements/notes.txt'" in lines, "the ignored file is listed")
    good = 2 + 64 + 1 + 2  # PC world maps and levels, the level saved as PNG, X68000 world maps
    check(f"atlas of {good} maps: 'atlas/index.html'" in lines, "the summary line: " + lines[-1])

    # The level below the map: each pixel the mean of a 2 x 2 block, as Pillow reduces it.
    level = glob.glob(os.path.join(top, "atlas/01-maps_pc_settlements/zk.Yew.1F.12_files/8/0_0.*"))
    half = Image.open(towns + "/zk.Yew.1F.12.bmp").convert("RGB").reduce(2)
    check(len(level) == 1 and max(abs(a - b) for a, b in zip(Image.open(level[0]).convert("RGB").tobytes(),
                                                               half.tobytes())) <= 1, "the level below the map")

    atlas = "file://" + os.path.join(top, "atlas")
    browser = Browser()
    try:
        browser.call("Emulation.setDeviceMetricsOverride", width=800, height=600, deviceScaleFactor=1, mobile=False)
        check(browser.open(atlas + "/index.html"), "the index loads")
        check(browser.wait("[...document.images].every(i => i.complete)"), "the thumbnails load")
        shown = browser.evaluate("[...document.querySelectorAll('a.map img')].filter(i => i.naturalWidth > 0).length")
        check(shown == good, f"one thumbnail per map: {shown}")

        # A settlement level: 16 x 16-pixel cells, deep link to (0A,0C) at 4 screen pixels per map pixel.
        page = atlas + "/01-maps_pc_settlements/zk.Yew.1F.12.html"
        check(browser.open(page + "#x=0A&y=0C&z=4", LOADED), "the viewer opens")
        shot = os.path.join(top, "level.png")
        browser.screenshot(shot)
        matches, view = centre_cell_matches(browser, shot, towns + "/zk.Yew.1F.12.bmp", (10, 12), 32, 4)
        check(matches, "cell (0A,0C) of Yew 1F at the centre, pixel for pixel")

        # The pointer moved from the centre of cell (0A,0C), 64 screen pixels a cell.
        cx, cy = view[0] + view[2] / 2, view[1] + view[3] / 2
        for dx, dy, expected in [(96, -160, "(0C,0A)"), (-40, 40, "(09,0D)"), (31, 31, "(0A,0C)")]:
            browser.call("Input.dispatchMouseEvent", type="mouseMoved", x=cx + dx, y=cy + dy)
            check(browser.evaluate("document.getElementById('cell').textContent") == expected,
                  f"readout at ({dx},{dy}) shows {expected}: " + browser.evaluate("document.getElementById('cell').textContent"))

        browser.evaluate("document.getElementById('grid').click()")
        with_grid = os.path.join(top, "grid.png")
        browser.screenshot(with_grid)
        check(Image.open(with_grid).tobytes() != Image.open(shot).tobytes(), "the grid changes the image")
        if len(sys.argv) > 6:
            Image.open(with_grid).convert("P", palette=Image.ADAPTIVE).save(sys.argv[6], optimize=True)

        # Dragging the map one cell to the left moves the centre, and the address, one cell right.
        for kind, x in [("mousePressed", cx), ("mouseMoved", cx - 32), ("mouseMoved", cx - 64), ("mouseReleased", cx - 64)]:
            browser.call("Input.dispatchMouseEvent", type=kind, x=x, y=cy, button="left", buttons=1, clickCount=1)
        check(browser.wait("location.hash === '#x=0B&y=0C&z=4'", 5), "the address follows the view: " +
              str(browser.evaluate("location.hash")))

        # The same deep link on an 8192 x 8192 world map through its pyramid.
        world = os.path.join(top, "maps/x68000/world/zk.Britannia.png")
        check(Image.open(world).size == (8192, 8192), "the X68000 world map is 8192 x 8192")
        check(browser.open(atlas + "/03-maps_x68000_world/zk.Britannia.html#x=60&y=66&z=4", LOADED),
              "the world viewer opens")
        browser.screenshot(shot)
        check(centre_cell_matches(browser, shot, world, (0x60, 0x66), 256, 4)[0],
              "cell (60,66) of the 8192 x 8192 map at the centre, pixel for pixel")
        check(not browser.errors(), f"no console errors: {browser.errors()}")
    finally:
        browser.close()
    print("failures:", len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
