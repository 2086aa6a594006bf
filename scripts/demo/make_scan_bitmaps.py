#!/usr/bin/python3
# The demo's scanned pages: three A4 bitmaps at 150 dpi (black and white,
# grey, colour) written as scan0.bmp, scan1.bmp, scan2.bmp in the current folder.
from PIL import Image, ImageDraw
for n, mode in enumerate(["1", "L", "RGB"]):
    page = Image.new("RGB", (1240, 1754), "white")
    draw = ImageDraw.Draw(page)
    draw.rectangle((100, 100, 1140, 1654), outline="black", width=4)
    draw.text((150, 150), "TENDER DOCUMENT  page %d" % (n + 1), fill="black")
    for line in range(40):
        draw.line((150, 250 + 30 * line, 1090 - (line * 37) % 400, 250 + 30 * line), fill="black", width=6)
    draw.ellipse((800, 1300, 1050, 1550), outline=(200, 0, 0), width=12)
    page.convert(mode).save("scan%d.bmp" % n, dpi=(150, 150))
