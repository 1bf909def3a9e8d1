#!/usr/bin/env python3
"""Draws the program's icon, a steel cog around an amber knob, and writes it as
qwconfig.ico: one 32 x 32 image with a 256-colour palette (8 bits per pixel)
and a transparency mask.

The build uses the committed qwconfig.ico and never runs this script. After a
change here, run it from this folder and commit both files:
    python3 make_icon.py qwconfig.ico
"""
import math
import struct
import sys

SIZE = 32
CENTRE = (SIZE - 1) / 2.0
TEETH = 8
R_BODY = 11.0       # radius of the cog between the teeth
R_TOOTH = 15.2      # radius at the tip of a tooth
R_HOLE = 6.6        # inner edge of the cog's ring
R_KNOB = 4.6        # the amber knob in the middle
LIGHT = (-0.6, -0.8)  # light comes from the upper left

# Palette: 0 transparent/black, an outline colour, a 16-step steel ramp and an
# 8-step amber ramp; the rest of the 256 entries stay black.
OUTLINE = 1
STEEL, STEEL_STEPS = 2, 16
AMBER, AMBER_STEPS = 18, 8


def ramp(dark, light, steps):
    """Colours from dark to light in equal steps."""
    return [tuple(round(d + (l - d) * i / (steps - 1)) for d, l in zip(dark, light))
            for i in range(steps)]


def palette():
    """The 256 RGB entries."""
    colours = [(0, 0, 0), (28, 32, 40)]
    colours += ramp((62, 70, 84), (232, 236, 242), STEEL_STEPS)
    colours += ramp((150, 72, 8), (255, 218, 120), AMBER_STEPS)
    return colours + [(0, 0, 0)] * (256 - len(colours))


def cog_radius(angle):
    """Outer radius of the cog in a direction: flat-topped teeth with slanted sides."""
    t = (math.cos(TEETH * angle) + 0.2) * 2.0
    return R_BODY + (R_TOOTH - R_BODY) * min(1.0, max(0.0, t))


def inside(x, y):
    """Which part a point lies in: 'cog', 'knob' or None (transparent)."""
    dx, dy = x - CENTRE, y - CENTRE
    r = math.hypot(dx, dy)
    if r <= R_KNOB:
        return 'knob'
    if R_HOLE <= r <= cog_radius(math.atan2(dy, dx)):
        return 'cog'
    return None


def lit(x, y, radius):
    """Brightness 0..1 of a point on a dome of the given radius, lit from LIGHT."""
    dx, dy = (x - CENTRE) / radius, (y - CENTRE) / radius
    return min(1.0, max(0.0, 0.55 + 0.45 * (dx * LIGHT[0] + dy * LIGHT[1])))


def pixel(x, y):
    """Palette index of the pixel in column x, row y (row 0 at the top)."""
    cx, cy = x + 0.5, y + 0.5
    part = inside(cx, cy)
    if part is None:
        return 0
    # A pixel with a neighbour of another part is drawn as outline.
    for nx, ny in ((cx - 1, cy), (cx + 1, cy), (cx, cy - 1), (cx, cy + 1)):
        if inside(nx, ny) != part:
            return OUTLINE
    if part == 'knob':
        return AMBER + round(lit(cx, cy, R_KNOB) * (AMBER_STEPS - 1))
    shade = lit(cx, cy, R_TOOTH)
    # The ring next to the hole is bevelled: darker on the lit side.
    if math.hypot(cx - CENTRE, cy - CENTRE) < R_HOLE + 2.0:
        shade = 1.0 - shade
    return STEEL + round(shade * (STEEL_STEPS - 1))


def icon_bytes():
    """The whole .ico file."""
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    colour = b''.join(bytes(row) for row in reversed(rows))      # bottom row first
    mask = b''
    for row in reversed(rows):
        bits = 0
        for x, index in enumerate(row):
            if index == 0:
                bits |= 1 << (31 - x)        # 1 = transparent
        mask += struct.pack('>I', bits)      # 32 pixels = 4 bytes, no padding needed
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette())
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 8, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    image = header + pal + colour + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.stderr.write('usage: make_icon.py OUTPUT.ico\n')
        return 2
    with open(sys.argv[1], 'wb') as out:
        out.write(icon_bytes())
    return 0


if __name__ == '__main__':
    sys.exit(main())
