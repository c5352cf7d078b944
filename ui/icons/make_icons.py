#!/usr/bin/env python3
"""Draws the program icon, an archive box, as 16 and 32 pixel images.

The small sizes are drawn pixel by pixel (a scaled-down vector drawing blurs
at 16 pixels) with the 16-colour palette below, and written as indexed PNG
files and as one Windows .ico holding both. vrktool.svg is the same drawing
for every other size. Run it from this folder after changing the drawing;
the images it writes are committed.
"""
import struct
import zlib

PALETTE = {
    ".": (0, 0, 0, 0),          # transparent
    "K": (74, 42, 12, 255),     # outline
    "L": (176, 108, 38, 255),   # lid
    "l": (218, 150, 74, 255),   # lid highlight
    "B": (201, 130, 54, 255),   # box front
    "h": (226, 166, 92, 255),   # front highlight
    "S": (160, 96, 30, 255),    # front shadow
    "P": (246, 236, 212, 255),  # label
    "p": (190, 176, 146, 255),  # label lines and edge
    "H": (43, 24, 6, 255),      # hand hole
}


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [["."] * size for _ in range(size)]

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.pixels[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour):
        self.fill(x0, y0, x1, y0, colour)
        self.fill(x0, y1, x1, y1, colour)
        self.fill(x0, y0, x0, y1, colour)
        self.fill(x1, y0, x1, y1, colour)


def box32():
    c = Canvas(32)
    # front of the box
    c.fill(4, 11, 27, 28, "B")
    c.fill(5, 12, 5, 27, "h")
    c.fill(26, 12, 26, 27, "S")
    c.fill(5, 27, 26, 27, "S")
    c.frame(4, 11, 27, 28, "K")
    # lid, wider than the box
    c.fill(2, 5, 29, 11, "L")
    c.fill(3, 6, 28, 6, "l")
    c.fill(3, 10, 28, 10, "S")
    c.frame(2, 5, 29, 11, "K")
    # hand hole and label
    c.fill(12, 14, 19, 15, "H")
    c.fill(9, 18, 22, 24, "P")
    c.fill(10, 19, 21, 19, "P")
    c.fill(11, 20, 20, 20, "p")
    c.fill(11, 22, 17, 22, "p")
    c.frame(9, 18, 22, 24, "K")
    return c


def box16():
    c = Canvas(16)
    c.fill(2, 5, 13, 14, "B")
    c.fill(3, 6, 3, 13, "h")
    c.fill(12, 6, 12, 13, "S")
    c.fill(3, 13, 12, 13, "S")
    c.frame(2, 5, 13, 14, "K")
    c.fill(1, 2, 14, 5, "L")
    c.fill(2, 3, 13, 3, "l")
    c.frame(1, 2, 14, 5, "K")
    c.fill(6, 7, 9, 7, "H")
    c.fill(4, 9, 11, 12, "P")
    c.fill(5, 10, 10, 10, "p")
    c.frame(4, 9, 11, 12, "K")
    return c


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(canvas):
    keys = list(PALETTE)
    index = {k: i for i, k in enumerate(keys)}
    raw = b"".join(b"\x00" + bytes(index[p] for p in row) for row in canvas.pixels)
    plte = b"".join(bytes(PALETTE[k][:3]) for k in keys)
    trns = bytes(PALETTE[k][3] for k in keys)
    header = struct.pack(">IIBBBBB", canvas.size, canvas.size, 8, 3, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", plte) + chunk(b"tRNS", trns) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 8, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


if __name__ == "__main__":
    images = [(32, png(box32())), (16, png(box16()))]
    for size, data in images:
        with open(f"vrktool-{size}.png", "wb") as f:
            f.write(data)
    with open("vrktool.ico", "wb") as f:
        f.write(ico(images))
