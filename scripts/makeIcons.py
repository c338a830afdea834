#!/usr/bin/env python3
"""Draws the program's built-in 16x16 icons and writes them as GIF files.

The pictures are small pixel-art maps (one character per pixel, each
character a palette entry). Indexes the server names have their own
drawing: 4 link, 6 folder, 12 lock, 23 the program's own icon, 37 file;
the others are file sheets told apart by a coloured band and a mark.

Usage: makeIcons.py [OUTPUT_FOLDER]   (default: res/icons next to this script)
"""

import os
import struct
import sys

# 16 colours; "." is transparent.
PALETTE = [
    (0xff, 0xff, 0xff),  # . transparent
    (0x00, 0x00, 0x00),  # k black
    (0xff, 0xff, 0xff),  # w white
    (0x80, 0x80, 0x80),  # g grey
    (0xc0, 0xc0, 0xc0),  # s silver
    (0xe8, 0xb8, 0x30),  # y folder yellow
    (0xa0, 0x70, 0x10),  # b brown
    (0x20, 0x60, 0xd0),  # u blue
    (0x30, 0xa0, 0x40),  # e green
    (0xd0, 0x30, 0x30),  # r red
    (0x90, 0x40, 0xc0),  # p purple
    (0x20, 0xb0, 0xb0),  # c cyan
    (0xf0, 0x80, 0x20),  # o orange
    (0xf0, 0xe0, 0x40),  # l lemon
    (0x60, 0x30, 0x10),  # d dark brown
    (0x10, 0x30, 0x70),  # n navy
]
KEYS = ".kwgsybuerpcoldn"

FILE = [
    "..kkkkkkkkk.....",
    "..kwwwwwwwkk....",
    "..kwwwwwwwkwk...",
    "..kwwwwwwwkwwk..",
    "..kwwwwwwwkkkkk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kkkkkkkkkkkkk.",
    "................",
]

FOLDER = [
    "................",
    "................",
    ".bbbbb..........",
    "byyyyyb.........",
    "byyyyyybbbbbbbb.",
    "byyyyyyyyyyyyyyb",
    "byllllllllllllyb",
    "bylyyyyyyyyyyyyb",
    "bylyyyyyyyyyyyyb",
    "bylyyyyyyyyyyyyb",
    "bylyyyyyyyyyyyyb",
    "bylyyyyyyyyyyyyb",
    "byyyyyyyyyyyyyyb",
    ".bbbbbbbbbbbbbb.",
    "................",
    "................",
]

LINK = [
    "................",
    "................",
    "....uuuu........",
    "...u....u.......",
    "..u......u......",
    "..u...uuuuuu....",
    "..u..u...u..u...",
    "...u.u..u...u...",
    "....uuuu....u...",
    "......u.....u...",
    ".......u...u....",
    "........uuu.....",
    "................",
    "..........kkkk..",
    "...........kkk..",
    "..........k.kk..",
]

LOCK = [
    "................",
    ".....kkkkkk.....",
    "....kssssssk....",
    "...ksk....ksk...",
    "...ksk....ksk...",
    "...ksk....ksk...",
    "...ksk....ksk...",
    "..kkkkkkkkkkkk..",
    "..kllllllllllk..",
    "..klyyyyyyyyyk..",
    "..klyyykkyyyyk..",
    "..klyyykkyyyyk..",
    "..klyyyykyyyyk..",
    "..klyyyyyyyyyk..",
    "..kkkkkkkkkkkk..",
    "................",
]

# The program's own mark: a "Z" on a navy disc.
OWN = [
    "................",
    ".....nnnnnn.....",
    "...nnnnnnnnnn...",
    "..nnnnnnnnnnnn..",
    "..nnwwwwwwwwnn..",
    ".nnnwwwwwwwwnnn.",
    ".nnnnnnnnwwwnnn.",
    ".nnnnnnnwwwnnnn.",
    ".nnnnnnwwwnnnnn.",
    ".nnnnnwwwnnnnnn.",
    ".nnnnwwwnnnnnnn.",
    "..nnwwwwwwwwnn..",
    "..nnwwwwwwwwnn..",
    "...nnnnnnnnnn...",
    ".....nnnnnn.....",
    "................",
]

BANDS = "rueopcgdbnl"


def variant(index):
    """A file sheet with a coloured band and the index as dots."""
    band = BANDS[index % len(BANDS)]
    rows = [list(r) for r in FILE]
    for y in (6, 7):
        for x in range(3, 14):
            rows[y][x] = band
    # The index in binary, one dot per bit, on two rows.
    for bit in range(6):
        x = 4 + 2 * bit
        if index >> bit & 1:
            rows[10][x] = "k"
            rows[11][x] = "k"
        else:
            rows[11][x] = "s"
    return ["".join(r) for r in rows]


DRAWN = {4: LINK, 6: FOLDER, 12: LOCK, 23: OWN, 37: FILE}
COUNT = 38  # indexes 0..37


def lzw_literal_stream(pixels, min_code=4):
    """LZW data made of literals only, with a clear code often enough that
    the code width never grows: valid for every decoder and simple."""
    clear = 1 << min_code
    end = clear + 1
    width = min_code + 1
    codes = [clear]
    since_clear = 0
    for p in pixels:
        if since_clear == 12:
            codes.append(clear)
            since_clear = 0
        codes.append(p)
        since_clear += 1
    codes.append(end)
    out = bytearray()
    acc = 0
    nbits = 0
    for c in codes:
        acc |= c << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif(picture):
    assert len(picture) == 16 and all(len(r) == 16 for r in picture)
    pixels = [KEYS.index(ch) for row in picture for ch in row]
    head = b"GIF89a" + struct.pack("<HHBBB", 16, 16, 0xF3, 0, 0)
    table = b"".join(bytes(c) for c in PALETTE)
    gce = b"\x21\xF9\x04\x01\x00\x00\x00\x00"  # colour 0 transparent
    desc = b"\x2C" + struct.pack("<HHHHB", 0, 0, 16, 16, 0)
    data = lzw_literal_stream(pixels)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255))
    return head + table + gce + desc + b"\x04" + blocks + b"\x00" + b"\x3B"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "icons")
    os.makedirs(out, exist_ok=True)
    for i in range(COUNT):
        with open(os.path.join(out, "%02d.gif" % i), "wb") as f:
            f.write(gif(DRAWN.get(i) or variant(i)))


if __name__ == "__main__":
    main()
