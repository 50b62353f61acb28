#!/usr/bin/env python3
"""Draws main_icon.ico: one 32 x 32 icon in the 16 standard colours, a parcel
with an arrow pointing into it. Run by hand when the picture changes; the
build uses the committed .ico."""
import struct
import sys

PALETTE = [  # the 16 colours of the standard VGA palette, as (r, g, b)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, OLIVE, SILVER, GREY, YELLOW, BLUE, CYAN, WHITE = 0, 3, 7, 8, 11, 12, 14, 15
SIZE = 32


def draw():
    pixels = [[None] * SIZE for _ in range(SIZE)]  # None: transparent

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                pixels[y][x] = colour

    # The parcel: lid, body, a band of tape down the middle.
    rect(2, 15, 29, 18, BLACK)
    rect(3, 16, 28, 17, YELLOW)
    rect(4, 19, 27, 30, BLACK)
    rect(5, 19, 26, 29, OLIVE)
    rect(5, 19, 26, 20, YELLOW)
    rect(14, 16, 17, 29, SILVER)
    rect(14, 19, 14, 29, GREY)
    # The arrow: a shaft and a head pointing down into the parcel.
    rect(12, 1, 19, 9, BLACK)
    rect(13, 1, 18, 9, BLUE)
    rect(14, 1, 15, 8, CYAN)
    for row in range(8):
        y = 9 + row
        left, right = 8 + row, 23 - row
        rect(left, y, right, y, BLACK)
        if right - left >= 2:
            rect(left + 1, y, right - 1, y, BLUE)
    rect(14, 10, 14, 12, CYAN)
    return pixels


def ico(pixels):
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour_rows, mask_rows = [], []
    for row in reversed(pixels):  # bottom-up
        nibbles = [0 if p is None else p for p in row]
        colour_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is None else 0)
        mask_rows.append(struct.pack(">I", bits))
    image = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, len(image), 0, 0, 16, 0)
    body = header + palette + image
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(body), 22)
    return directory + body


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "main_icon.ico"
    with open(out, "wb") as f:
        f.write(ico(draw()))
