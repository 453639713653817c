#!/usr/bin/python3
"""Draws the main window's background: a blueprint of a small building, 770 x 523.

Run once by hand (python3-pil); the PNG it writes is kept in the repository.
"""

from PIL import Image, ImageDraw, ImageFont

W, H = 770, 523
BG = (22, 62, 122)
GRID = (40, 86, 150)
GRID_BOLD = (58, 108, 172)
INK = (196, 220, 245)
FAINT = (120, 160, 210)

img = Image.new("RGB", (W, H), BG)
d = ImageDraw.Draw(img)
for x in range(0, W, 10):
    d.line([(x, 0), (x, H)], fill=GRID_BOLD if x % 50 == 0 else GRID)
for y in range(0, H, 10):
    d.line([(0, y), (W, y)], fill=GRID_BOLD if y % 50 == 0 else GRID)

# Plan of a floor, drawn faintly so that the lists in front stay readable.
ox, oy = 60, 70
walls = [(0, 0, 640, 0), (640, 0, 640, 330), (640, 330, 0, 330), (0, 330, 0, 0),
         (220, 0, 220, 200), (220, 250, 220, 330), (420, 0, 420, 140), (420, 190, 420, 330),
         (0, 200, 160, 200), (420, 160, 640, 160)]
for x1, y1, x2, y2 in walls:
    d.line([(ox + x1, oy + y1), (ox + x2, oy + y2)], fill=FAINT, width=4)
for cx, cy in [(220, 225), (420, 165)]:  # door swings
    d.arc([ox + cx - 25, oy + cy - 25, ox + cx + 25, oy + cy + 25], 270, 360, fill=FAINT, width=1)
for i in range(6):  # stair
    d.line([(ox + 470 + i * 20, oy + 200), (ox + 470 + i * 20, oy + 310)], fill=FAINT)
d.rectangle([ox + 470, oy + 200, ox + 590, oy + 310], outline=FAINT)

# Dimension line along the bottom.
y = oy + 360
d.line([(ox, y), (ox + 640, y)], fill=INK)
for x in (ox, ox + 220, ox + 420, ox + 640):
    d.line([(x, y - 6), (x, y + 6)], fill=INK)
try:
    font = ImageFont.truetype("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf", 11)
    big = ImageFont.truetype("/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf", 15)
except OSError:
    font = big = ImageFont.load_default()
for a, b, t in [(ox, ox + 220, "22'-0\""), (ox + 220, ox + 420, "20'-0\""), (ox + 420, ox + 640, "22'-0\"")]:
    d.text(((a + b) // 2 - 16, y + 6), t, fill=INK, font=font)

# Title block in the lower right corner.
tb = (W - 250, H - 62, W - 12, H - 12)
d.rectangle(tb, outline=INK, width=2)
d.line([(tb[0], tb[1] + 24), (tb[2], tb[1] + 24)], fill=INK)
d.text((tb[0] + 8, tb[1] + 4), "QUILLBERN", fill=INK, font=big)
d.text((tb[0] + 8, tb[1] + 29), "PICK-UP REGISTER  -  SHEET A-1", fill=INK, font=font)

img.save("images/background.png", optimize=True)

# The application loads raw pixels in the layout of QImage::Format_RGB32 on a
# little-endian host (B, G, R, 255): decoding a PNG, or even converting pixels,
# at start-up costs more than building the rest of the window. They are scaled to
# the size shown by scale_background.cpp, from the file written here.
with open("drawn.rgb", "wb") as raw:
    raw.write(img.convert("RGBA").tobytes("raw", "BGRA"))
