#!/usr/bin/env python3
# Writes toolbox.bmp: the control's toolbox picture, 16 by 15 pixels at 4 bits
# with the 16-colour standard palette, "OCX" in dark magenta on light grey.
# Run it from this directory when the picture changes; the file is committed.
import struct

W, H = 16, 15
PALETTE = [(0, 0, 0), (0x80, 0, 0), (0, 0x80, 0), (0x80, 0x80, 0), (0, 0, 0x80), (0x80, 0, 0x80), (0, 0x80, 0x80),
           (0xC0, 0xC0, 0xC0), (0x80, 0x80, 0x80), (0xFF, 0, 0), (0, 0xFF, 0), (0xFF, 0xFF, 0), (0, 0, 0xFF),
           (0xFF, 0, 0xFF), (0, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF)]
LIGHT_GREY, DARK_MAGENTA = 7, 5
GLYPHS = {'O': ["0110", "1001", "1001", "1001", "1001", "1001", "0110"],
          'C': ["0111", "1000", "1000", "1000", "1000", "1000", "0111"],
          'X': ["1001", "1001", "0110", "0110", "0110", "1001", "1001"]}

image = [[LIGHT_GREY] * W for _ in range(H)]
left = 1
for letter in "OCX":
    for r, row in enumerate(GLYPHS[letter]):
        for c, bit in enumerate(row):
            if bit == '1':
                image[4 + r][left + c] = DARK_MAGENTA
    left += 5

stride = ((W * 4 + 31) // 32) * 4
bits = b''
for y in range(H - 1, -1, -1):  # bottom row first
    row = bytearray((image[y][x] << 4) | image[y][x + 1] for x in range(0, W, 2))
    bits += bytes(row) + b'\0' * (stride - len(row))
palette = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 4, 0, len(bits), 2835, 2835, 16, 0)
offset = 14 + len(info) + len(palette)
header = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
with open('toolbox.bmp', 'wb') as out:
    out.write(header + info + palette + bits)
