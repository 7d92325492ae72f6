#!/usr/bin/env python3
"""Generates screen/font_cp437.cpp: the 8x8 code page 437 glyphs of the game's text layer.

The glyphs come from Debian's console font Uni2-VGA8 (package console-setup-linux; console
fonts are public domain, see /usr/share/doc/console-setup-linux/copyright). Each code page
437 code is looked up through the font's Unicode table; the few characters the font lacks,
and those its table maps to a wrong bitmap, are drawn here by hand. The build never runs
this script: its output is committed. Run it from the repository root:

    python3 tools/make_font.py [font.psf.gz] > screen/font_cp437.cpp
"""

import gzip
import sys

FONT_PATH = "/usr/share/consolefonts/Uni2-VGA8.psf.gz"
CELL = 8

# Codes 1..31 and 127 are graphic symbols in code page 437; Python's 'cp437' codec maps
# them to control characters, so they are listed here.
LOW_SYMBOLS = "☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"
DELETE_SYMBOL = "⌂"

# Glyphs the console font does not have, drawn in the same style ('#' = foreground).
HAND_DRAWN = {
    "►": [
        "#.......",
        "###.....",
        "#####...",
        "#######.",
        "#####...",
        "###.....",
        "#.......",
        "........",
    ],
    "◄": [
        "......#.",
        "....###.",
        "..#####.",
        "#######.",
        "..#####.",
        "....###.",
        "......#.",
        "........",
    ],
    "₧": [
        "###.....",
        "#..#....",
        "#..#.#..",
        "###.###.",
        "#....#..",
        "#....#.#",
        "#.....#.",
        "........",
    ],
    "⌐": [
        "........",
        "........",
        "........",
        "######..",
        "##......",
        "##......",
        "........",
        "........",
    ],
    "∞": [
        "........",
        "........",
        ".##.##..",
        "#..#..#.",
        "#..#..#.",
        ".##.##..",
        "........",
        "........",
    ],
    "∩": [
        "..###...",
        ".##.##..",
        "##...##.",
        "##...##.",
        "##...##.",
        "##...##.",
        "##...##.",
        "........",
    ],
    "≡": [
        "........",
        "######..",
        "........",
        "######..",
        "........",
        "######..",
        "........",
        "........",
    ],
}

# The 8x8 font's Unicode table maps these characters to the wrong bitmaps: the double-line
# box characters get their single-line look-alikes, and most Greek letters get box or
# maths symbols (Γ shows as ├, π as ≡). They are replaced here. The box shapes follow the
# font's own lines (─ on row 4, │ on columns 3-4, ═ on rows 2 and 4, ║ on columns 2-3 and
# 5-6), one byte per row.
REPLACED_BOX = {
    "╡": [0x18, 0x18, 0xF8, 0x18, 0xF8, 0x18, 0x18, 0x18],
    "╢": [0x36, 0x36, 0x36, 0x36, 0xF6, 0x36, 0x36, 0x36],
    "╖": [0x00, 0x00, 0x00, 0x00, 0xFE, 0x36, 0x36, 0x36],
    "╕": [0x00, 0x00, 0xF8, 0x18, 0xF8, 0x18, 0x18, 0x18],
    "╣": [0x36, 0x36, 0xF6, 0x06, 0xF6, 0x36, 0x36, 0x36],
    "║": [0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36],
    "╗": [0x00, 0x00, 0xFE, 0x06, 0xF6, 0x36, 0x36, 0x36],
    "╝": [0x36, 0x36, 0xF6, 0x06, 0xFE, 0x00, 0x00, 0x00],
    "╜": [0x36, 0x36, 0x36, 0x36, 0xFE, 0x00, 0x00, 0x00],
    "╛": [0x18, 0x18, 0xF8, 0x18, 0xF8, 0x00, 0x00, 0x00],
    "╞": [0x18, 0x18, 0x1F, 0x18, 0x1F, 0x18, 0x18, 0x18],
    "╟": [0x36, 0x36, 0x36, 0x36, 0x37, 0x36, 0x36, 0x36],
    "╚": [0x36, 0x36, 0x37, 0x30, 0x3F, 0x00, 0x00, 0x00],
    "╔": [0x00, 0x00, 0x3F, 0x30, 0x37, 0x36, 0x36, 0x36],
    "╩": [0x36, 0x36, 0xF7, 0x00, 0xFF, 0x00, 0x00, 0x00],
    "╦": [0x00, 0x00, 0xFF, 0x00, 0xF7, 0x36, 0x36, 0x36],
    "╠": [0x36, 0x36, 0x37, 0x30, 0x37, 0x36, 0x36, 0x36],
    "═": [0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00],
    "╬": [0x36, 0x36, 0xF7, 0x00, 0xF7, 0x36, 0x36, 0x36],
    "╧": [0x18, 0x18, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00],
    "╨": [0x36, 0x36, 0x36, 0x36, 0xFF, 0x00, 0x00, 0x00],
    "╤": [0x00, 0x00, 0xFF, 0x00, 0xFF, 0x18, 0x18, 0x18],
    "╥": [0x00, 0x00, 0x00, 0x00, 0xFF, 0x36, 0x36, 0x36],
    "╙": [0x36, 0x36, 0x36, 0x36, 0x3F, 0x00, 0x00, 0x00],
    "╘": [0x18, 0x18, 0x1F, 0x18, 0x1F, 0x00, 0x00, 0x00],
    "╒": [0x00, 0x00, 0x1F, 0x18, 0x1F, 0x18, 0x18, 0x18],
    "╓": [0x00, 0x00, 0x00, 0x00, 0x3F, 0x36, 0x36, 0x36],
    "╫": [0x36, 0x36, 0x36, 0x36, 0xFF, 0x36, 0x36, 0x36],
    "╪": [0x18, 0x18, 0xFF, 0x18, 0xFF, 0x18, 0x18, 0x18],
}

REPLACED_DRAWN = {
    "α": ["........", "........", ".###.##.", "##.###..", "##.#....", "##.###..", ".###.##.", "........"],
    "Γ": ["#######.", "##...##.", "##......", "##......", "##......", "##......", "##......", "........"],
    "π": ["........", "#######.", ".##.##..", ".##.##..", ".##.##..", ".##.##..", ".##.##..", "........"],
    "Σ": ["#######.", "##...##.", ".##.....", "..##....", ".##.....", "##...##.", "#######.", "........"],
    "σ": ["........", "........", ".######.", "##.##...", "##.##...", "##.##...", ".###....", "........"],
    "τ": ["........", ".###.##.", "##.###..", "...##...", "...##...", "...##...", "...##...", "........"],
    "Φ": ["######..", "..##....", ".####...", "##..##..", "##..##..", ".####...", "..##....", "######.."],
    "Θ": ["..###...", ".##.##..", "##...##.", "#######.", "##...##.", ".##.##..", "..###...", "........"],
    "Ω": ["..###...", ".##.##..", "##...##.", "##...##.", ".##.##..", ".##.##..", "###.###.", "........"],
    "δ": ["..###...", ".##.....", "..##....", ".#####..", "##..##..", "##..##..", ".####...", "........"],
    "φ": [".....##.", "....##..", ".######.", "##.##.##", "##.##.##", ".######.", ".##.....", "##......"],
    "ε": ["..###...", ".##.....", "##......", "#####...", "##......", ".##.....", "..###...", "........"],
}

BOX_LINE_CODE = 196  # must be one line across the cell on row 4, so runs join up
BOX_LINE_ROW = 4


def read_psf(data):
    """Returns (glyph bitmaps, {code point: glyph index}) of a PSF1 or PSF2 font."""
    if data[:2] == b"\x36\x04":
        mode, height = data[2], data[3]
        count = 512 if mode & 1 else 256
        width = 8
        start = 4
        glyphs = [data[start + i * height : start + (i + 1) * height] for i in range(count)]
        table = data[start + count * height :] if mode & 2 else b""
        mapping = {}
        glyph, pos, in_sequence = 0, 0, False
        while table and glyph < count and pos + 1 < len(table):
            value = table[pos] | table[pos + 1] << 8
            pos += 2
            if value == 0xFFFF:
                glyph += 1
                in_sequence = False
            elif value == 0xFFFE:
                in_sequence = True
            elif not in_sequence:
                mapping.setdefault(value, glyph)
        return glyphs, mapping, width, height
    if data[:4] == b"\x72\xb5\x4a\x86":
        header = [int.from_bytes(data[i : i + 4], "little") for i in range(4, 32, 4)]
        _version, header_size, flags, count, char_size, height, width = header
        glyphs = [
            data[header_size + i * char_size : header_size + (i + 1) * char_size]
            for i in range(count)
        ]
        mapping = {}
        if flags & 1:
            table = data[header_size + count * char_size :]
            glyph = 0
            for entry in table.split(b"\xff")[:count]:
                single = entry.split(b"\xfe")[0]
                for ch in single.decode("utf-8"):
                    mapping.setdefault(ord(ch), glyph)
                glyph += 1
        return glyphs, mapping, width, height
    raise SystemExit("not a PSF font")


def character_of(code):
    if code == 0:
        return None
    if code < 32:
        return LOW_SYMBOLS[code - 1]
    if code == 127:
        return DELETE_SYMBOL
    return bytes([code]).decode("cp437")


def drawn(rows):
    return [int(row.replace("#", "1").replace(".", "0"), 2) for row in rows]


def code_list(codes):
    words = [str(c) for c in codes]
    lines = [", ".join(words[i : i + 16]) for i in range(0, len(words), 16)]
    return "".join(f"//   {line}{'.' if i == len(lines) - 1 else ','}\n" for i, line in enumerate(lines))


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else FONT_PATH
    glyphs, mapping, width, height = read_psf(gzip.open(path).read())
    if width != CELL or height != CELL:
        raise SystemExit(f"font is {width}x{height}, need {CELL}x{CELL}")

    table, hand, replaced = [], [], []
    for code in range(256):
        ch = character_of(code)
        if ch is None:
            table.append([0] * CELL)
        elif ch in REPLACED_BOX:
            table.append(REPLACED_BOX[ch])
            replaced.append(code)
        elif ch in REPLACED_DRAWN:
            table.append(drawn(REPLACED_DRAWN[ch]))
            replaced.append(code)
        elif ord(ch) in mapping:
            table.append(list(glyphs[mapping[ord(ch)]]))
        elif ch in HAND_DRAWN:
            table.append(drawn(HAND_DRAWN[ch]))
            hand.append(code)
        else:
            raise SystemExit(f"no glyph for code {code} (U+{ord(ch):04X}) and none drawn")

    line = table[BOX_LINE_CODE]
    if line != [0xFF if row == BOX_LINE_ROW else 0 for row in range(CELL)]:
        raise SystemExit(f"code {BOX_LINE_CODE} is not one full line on row {BOX_LINE_ROW}")

    out = sys.stdout
    out.write("// Generated by tools/make_font.py; do not edit.\n")
    out.write("// The 8x8 code page 437 glyphs from Debian's console font Uni2-VGA8\n")
    out.write("// (console-setup-linux; console fonts are public domain), mapped through the\n")
    out.write("// font's Unicode table. Drawn in tools/make_font.py because the font lacks them:\n")
    out.write(code_list(hand))
    out.write("// Replaced there because the font's table gives them a wrong bitmap:\n")
    out.write(code_list(replaced))
    out.write('#include "screen/font.h"\n\nnamespace surface {\n\n')
    out.write("const uint8_t FONT_8X8[256][8] = {\n")
    for code, rows in enumerate(table):
        ch = character_of(code)
        label = f"U+{ord(ch):04X}" if ch else "blank"
        cells = ", ".join(f"0x{b:02x}" for b in rows)
        out.write(f"    {{{cells}}},  // {code} {label}\n")
    out.write("};\n\n}  // namespace surface\n")


if __name__ == "__main__":
    main()
