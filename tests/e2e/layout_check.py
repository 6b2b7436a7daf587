#!/usr/bin/python3
"""Finds the start window's controls in a screenshot and compares their
places with the window's layout (client pixels at 96 DPI).

usage: layout_check.py SHOT.png CLIENT_X CLIENT_Y
CLIENT_X, CLIENT_Y: the screen position of the window's client origin.
"""
import subprocess
import sys

# name: (left, top, width, height) in client pixels.
LAYOUT = {
    "list": (11, 12, 336, 194),
    "button": (210, 218, 137, 25),
    "box": (11, 222, 144, 17),
}


def load(path):
    ppm = subprocess.run(["convert", path, "ppm:-"], check=True, capture_output=True).stdout
    magic, size, _maxval, pixels = ppm.split(b"\n", 3)
    assert magic == b"P6"
    width, height = map(int, size.split())
    return width, height, pixels


def main():
    path, ox, oy = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    width, _height, pixels = load(path)

    def at(x, y):
        i = ((oy + y) * width + ox + x) * 3
        return pixels[i:i + 3]

    face = at(3, 3)

    def first_drawn(points):
        """The first point, in the order given, whose colour is not the window's face."""
        for x, y in points:
            if at(x, y) != face:
                return x, y
        return None, None

    def scan_right(y, x0, x1):
        return first_drawn((x, y) for x in range(x0, x1))[0]

    def scan_left(y, x0, x1):
        return first_drawn((x, y) for x in range(x1 - 1, x0 - 1, -1))[0]

    def scan_down(x, y0, y1):
        return first_drawn((x, y) for y in range(y0, y1))[1]

    def scan_up(x, y0, y1):
        return first_drawn((x, y) for y in range(y1 - 1, y0 - 1, -1))[1]

    found = {}
    # The list's sunken border, along its middle row and near its right side
    # (where no row text is drawn).
    l_left, l_top, l_w, l_h = LAYOUT["list"]
    mid_y, side_x = l_top + l_h // 2, l_left + l_w - 10
    found["list left"] = (scan_right(mid_y, 0, 200), l_left)
    found["list right"] = (scan_left(mid_y, 200, 358), l_left + l_w - 1)
    found["list top"] = (scan_down(side_x, 0, 100), l_top)
    found["list bottom"] = (scan_up(side_x, 100, 216), l_top + l_h - 1)
    # The button's frame, along its middle row and a column left of its caption.
    b_left, b_top, b_w, b_h = LAYOUT["button"]
    mid_y, side_x = b_top + b_h // 2, b_left + 3
    found["button left"] = (scan_right(mid_y, 160, 358), b_left)
    found["button right"] = (scan_left(mid_y, 160, 358), b_left + b_w - 1)
    found["button top"] = (scan_down(side_x, 208, 254), b_top)
    found["button bottom"] = (scan_up(side_x, 208, 254), b_top + b_h - 1)
    # The box's square starts at the control's left edge and is centred in its height.
    x_left, x_top, x_w, x_h = LAYOUT["box"]
    mid_y = x_top + x_h // 2
    square_left = scan_right(mid_y, 0, 100)
    found["box left"] = (square_left, x_left)
    if square_left is not None:
        col = square_left + 6
        top, bottom = scan_down(col, 208, 254), scan_up(col, 208, 254)
        if top is not None:
            # Equal margins above and below the square within the control's rows.
            found["box top + bottom"] = (top + bottom + 1, 2 * x_top + x_h)
    # The caption stays inside the control's width.
    caption_right = scan_left(mid_y, x_left, 200)
    found["box caption inside"] = (caption_right is not None and caption_right < x_left + x_w, True)

    failed = False
    for name, (got, expected) in found.items():
        ok = got == expected
        failed |= not ok
        print(f"{'ok  ' if ok else 'FAIL'} {name}: found {got}, layout {expected}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
