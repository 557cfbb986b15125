#!/usr/bin/env python3
"""Draws the picture editor's two backgrounds, textmemo.gif and invmemo.gif (216 x 84).

A memo sheet: ruled lines every four cells, a margin, and faint dots on the cell corners so
that strokes are easy to place.  invmemo is the same sheet in the inverted colours.
Run from this folder; needs only the standard library.
"""
import struct

W, H = 216, 84


def sheet(paper, rule, dot, margin):
    px = []
    for y in range(H):
        for x in range(W):
            if x == 13 or x == 14:
                px.append(margin)
            elif y % 12 == 11:
                px.append(rule)
            elif x % 3 == 0 and y % 3 == 0:
                px.append(dot)
            else:
                px.append(paper)
    return px


def gif(path, palette, pixels):
    # 8-bit codes with a clear code every 250 pixels keep every code 9 bits wide.
    clear, end = 256, 257
    codes = []
    for i, p in enumerate(pixels):
        if i % 250 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    bits = acc = 0
    data = bytearray()
    for c in codes:
        acc |= c << bits
        bits += 9
        while bits >= 8:
            data.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        data.append(acc & 0xFF)
    pal = b"".join(bytes(c) for c in palette) + bytes(3 * (256 - len(palette)))
    out = bytearray(b"GIF89a" + struct.pack("<HHBBB", W, H, 0xF7, 0, 0) + pal)
    out += b"," + struct.pack("<HHHHB", 0, 0, W, H, 0) + bytes([8])
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        out += bytes([len(block)]) + block
    out += b"\x00;"
    with open(path, "wb") as f:
        f.write(out)


# palette: 0 paper, 1 rule, 2 dot, 3 margin
gif("textmemo.gif", [(255, 253, 232), (178, 214, 232), (214, 214, 200), (240, 170, 170)],
    sheet(0, 1, 2, 3))
gif("invmemo.gif", [(0, 0, 0), (30, 70, 90), (50, 50, 50), (90, 30, 40)], sheet(0, 1, 2, 3))
