#!/usr/bin/env python3
"""Draws the program's icons and writes them into
app/resources/. Python standard library only; the output is committed, so the build never
runs this. The output is deterministic: running it again gives the same bytes.

    python3 tools/make_icons.py [OUTPUT_DIR]

quna.ico     16, 24, 32, 48 and 128 px, each at 4, 8 and 32 bits per pixel (15 images)
quna.png (128 px), quna48.png, quna32.png, quna24.png, quna16.png   the window icon for the
             window itself
elabora.png, esci.png   the button pictures (32 px): a green tick, a red door with an arrow
folder_closed.png, folder_open.png   the folder list's pictures (16 px)
"""

import math
import os
import struct
import sys
import zlib

# --------------------------------------------------------------------------- drawing
#
# A picture is a list of layers drawn bottom to top. Each layer is (coverage, colour):
# coverage(x, y, px) tells whether the point (x, y) of the unit square [0,1]x[0,1] (y down)
# is inside the shape, px being the size of one pixel in unit coordinates; colour is an
# (r, g, b) tuple or a function (x, y) -> (r, g, b). Pixels are supersampled.

SUPERSAMPLE = 4


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y, px):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return x0 <= x <= x1 and y0 <= y <= y1 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def inset(shape_factory, args, pixels):
    """The shape of shape_factory(*args) shrunk by a number of pixels on every side."""
    x0, y0, x1, y1, r = args

    def inside(x, y, px):
        d = pixels * px
        return shape_factory(x0 + d, y0 + d, x1 - d, y1 - d, max(r - d, 0.0))(x, y, px)
    return inside


def polygon(points):
    def inside(x, y, px):
        result = False
        n = len(points)
        for i in range(n):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % n]
            if (ya > y) != (yb > y):
                xc = xa + (y - ya) * (xb - xa) / (yb - ya)
                if x < xc:
                    result = not result
        return result
    return inside


def circle(cx, cy, r):
    def inside(x, y, px):
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ring(cx, cy, r_out, r_in):
    def inside(x, y, px):
        d = (x - cx) ** 2 + (y - cy) ** 2
        return r_in * r_in <= d <= r_out * r_out
    return inside


def capsule(xa, ya, xb, yb, half_width, grow_pixels=0.0):
    """A thick segment with round ends; grow_pixels widens it by whole pixels (outlines)."""
    def inside(x, y, px):
        dx, dy = xb - xa, yb - ya
        t = ((x - xa) * dx + (y - ya) * dy) / (dx * dx + dy * dy)
        t = min(max(t, 0.0), 1.0)
        qx, qy = xa + t * dx, ya + t * dy
        w = half_width + grow_pixels * px
        return (x - qx) ** 2 + (y - qy) ** 2 <= w * w
    return inside


def union(*shapes):
    def inside(x, y, px):
        return any(s(x, y, px) for s in shapes)
    return inside


def render(layers, size):
    """Returns size*size (r, g, b, a) tuples, rows top to bottom."""
    px = 1.0 / size
    n = SUPERSAMPLE
    out = []
    for j in range(size):
        for i in range(size):
            acc_r = acc_g = acc_b = acc_a = 0.0
            for sj in range(n):
                for si in range(n):
                    x = (i + (si + 0.5) / n) * px
                    y = (j + (sj + 0.5) / n) * px
                    colour = None
                    for inside, paint in reversed(layers):
                        if inside(x, y, px):
                            colour = paint(x, y) if callable(paint) else paint
                            break
                    if colour is not None:
                        acc_r += colour[0]
                        acc_g += colour[1]
                        acc_b += colour[2]
                        acc_a += 1.0
            if acc_a == 0:
                out.append((0, 0, 0, 0))
            else:
                out.append((round(acc_r / acc_a), round(acc_g / acc_a), round(acc_b / acc_a),
                            round(255 * acc_a / (n * n))))
    return out


def mix(c0, c1, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(round(a + (b - a) * t) for a, b in zip(c0, c1))


# --------------------------------------------------------------------------- artwork

WHITE = (255, 255, 255)


def quna_layers(size):
    """A rounded blue square with a white upward arrow and an orange "Q" badge."""
    top, bottom = (84, 160, 238), (22, 78, 170)
    border = (14, 50, 118)
    square = (0.03, 0.03, 0.97, 0.97, 0.2)
    layers = [
        (rounded_rect(*square), border),
        (inset(rounded_rect, square, 1), lambda x, y: mix(top, bottom, (y - 0.05) / 0.9)),
    ]
    # The arrow, a little left of centre to leave room for the badge.
    ax = 0.42
    arrow = polygon([(ax, 0.14), (ax + 0.27, 0.44), (ax + 0.09, 0.44), (ax + 0.09, 0.84),
                     (ax - 0.09, 0.84), (ax - 0.09, 0.44), (ax - 0.27, 0.44)])
    layers.append((arrow, WHITE))
    # The badge: an orange disc with a white Q (a ring and a tail). On the smallest sizes the
    # letter would be a smudge, so the disc stays plain there.
    bx, by, br = 0.74, 0.72, 0.21
    layers.append((circle(bx, by, br + 1.3 / size), border))
    layers.append((circle(bx, by, br), lambda x, y: mix((255, 170, 40), (230, 110, 10),
                                                        (y - by + br) / (2 * br))))
    if size >= 24:
        q_out, q_in = 0.125, 0.125 - max(0.045, 1.6 / size)
        layers.append((union(ring(bx, by - 0.01, q_out, q_in),
                             capsule(bx + 0.05, by + 0.06, bx + 0.12, by + 0.13,
                                     max(0.022, 0.8 / size))), WHITE))
    return layers


def elabora_layers(size):
    """A bold green tick with a dark outline."""
    dark, light, deep = (18, 96, 30), (90, 200, 70), (30, 150, 45)
    pts = [(0.14, 0.55), (0.40, 0.80), (0.86, 0.22)]
    hw = 0.085 if size >= 32 else 0.095
    outline = union(capsule(*pts[0], *pts[1], hw, 1.0), capsule(*pts[1], *pts[2], hw, 1.0))
    tick = union(capsule(*pts[0], *pts[1], hw), capsule(*pts[1], *pts[2], hw))
    return [(outline, dark), (tick, lambda x, y: mix(light, deep, (y - 0.2) / 0.6))]


def esci_layers(size):
    """A red door, ajar, with a red arrow leaving it to the right."""
    frame, panel, panel_dark = (70, 40, 30), (200, 40, 36), (150, 20, 20)
    arrow_fill, arrow_line = (235, 50, 40), (110, 10, 10)
    knob = (250, 220, 120)
    layers = [
        (rounded_rect(0.10, 0.06, 0.56, 0.94, 0.02), frame),
        (inset(rounded_rect, (0.10, 0.06, 0.56, 0.94, 0.02), 1), (235, 225, 210)),
        # the door leaf swung towards the viewer
        (polygon([(0.12, 0.08), (0.44, 0.16), (0.44, 0.98), (0.12, 0.92)]), panel_dark),
        (polygon([(0.14, 0.11), (0.41, 0.18), (0.41, 0.94), (0.14, 0.89)]),
         lambda x, y: mix(panel, panel_dark, (y - 0.1) / 0.9)),
        (circle(0.35, 0.56, max(0.04, 0.9 / size)), knob),
    ]
    shaft_y0, shaft_y1 = 0.44, 0.60
    arrow = [(0.50, shaft_y0), (0.70, shaft_y0), (0.70, 0.30), (0.96, 0.52),
             (0.70, 0.74), (0.70, shaft_y1), (0.50, shaft_y1)]
    g = 1.2 / size
    arrow_outline = [(0.50 - g, shaft_y0 - g), (0.70 - g, shaft_y0 - g), (0.70 - g, 0.30 - 2 * g),
                     (0.96 + 1.6 * g, 0.52), (0.70 - g, 0.74 + 2 * g),
                     (0.70 - g, shaft_y1 + g), (0.50 - g, shaft_y1 + g)]
    layers.append((polygon(arrow_outline), arrow_line))
    layers.append((polygon(arrow), arrow_fill))
    return layers


FOLDER_LINE, FOLDER_LIGHT, FOLDER_DARK = (120, 90, 10), (255, 222, 110), (230, 176, 40)


def folder_closed_layers(size):
    """A closed yellow folder with a tab on its back, as the folder list shows subfolders."""
    body = (0.04, 0.30, 0.96, 0.88, 0.04)
    tab = (0.04, 0.16, 0.46, 0.40, 0.04)
    fill = lambda x, y: mix(FOLDER_LIGHT, FOLDER_DARK, (y - 0.3) / 0.6)
    return [(rounded_rect(*tab), FOLDER_LINE), (inset(rounded_rect, tab, 1), FOLDER_DARK),
            (rounded_rect(*body), FOLDER_LINE), (inset(rounded_rect, body, 1), fill)]


def folder_open_layers(size):
    """An open folder, its front flap tipped forward, as the folder list shows the path."""
    back = (0.04, 0.30, 0.84, 0.88, 0.04)
    tab = (0.04, 0.16, 0.42, 0.40, 0.04)
    g = 1.0 / size
    flap = [(0.22, 0.46), (0.98, 0.46), (0.82, 0.88), (0.04, 0.88)]
    flap_inner = [(0.22 + g, 0.46 + g), (0.98 - 1.6 * g, 0.46 + g), (0.82 - g, 0.88 - g),
                  (0.04 + 1.6 * g, 0.88 - g)]
    return [(rounded_rect(*tab), FOLDER_LINE), (inset(rounded_rect, tab, 1), FOLDER_DARK),
            (rounded_rect(*back), FOLDER_LINE), (inset(rounded_rect, back, 1), FOLDER_DARK),
            (polygon(flap), FOLDER_LINE),
            (polygon(flap_inner), lambda x, y: mix(FOLDER_LIGHT, FOLDER_DARK, (y - 0.46) / 0.5))]


# --------------------------------------------------------------------------- colour reduction

def median_cut(colours, count):
    """A palette of at most `count` colours for the list of (r, g, b) colours (deterministic)."""
    unique = sorted(set(colours))
    if len(unique) <= count:
        return unique
    boxes = [unique]
    while len(boxes) < count:
        # split the box with the widest channel range (ties: the larger box)
        best, best_key = None, None
        for index, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spans = [max(c[k] for c in box) - min(c[k] for c in box) for k in range(3)]
            key = (max(spans), len(box))
            if best_key is None or key > best_key:
                best, best_key = index, key
        if best is None:
            break
        box = boxes.pop(best)
        spans = [max(c[k] for c in box) - min(c[k] for c in box) for k in range(3)]
        channel = spans.index(max(spans))
        box.sort(key=lambda c: (c[channel], c))
        half = len(box) // 2
        boxes.extend([box[:half], box[half:]])
    palette = []
    for box in boxes:
        palette.append(tuple(round(sum(c[k] for c in box) / len(box)) for k in range(3)))
    return sorted(set(palette))


def nearest(palette, colour, cache):
    found = cache.get(colour)
    if found is None:
        found = min(range(len(palette)),
                    key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))
        cache[colour] = found
    return found


def quantize(pixels, count):
    """Palette (exactly `count` entries, index 0 black for transparent pixels) and indices."""
    opaque = [p[:3] for p in pixels if p[3] >= 128]
    # The flat colours of the artwork (the most frequent ones) are kept exactly, so that the
    # white arrow stays white; median cut shares the other entries among the shades.
    frequency = {}
    for colour in opaque:
        frequency[colour] = frequency.get(colour, 0) + 1
    keep = sorted(frequency, key=lambda c: (-frequency[c], c))[:3 if count <= 16 else 8]
    rest = [c for c in opaque if c not in keep]
    palette = [(0, 0, 0)] + keep + [c for c in median_cut(rest, count - 1 - len(keep))
                                    if c not in keep]
    palette += [(0, 0, 0)] * (count - len(palette))
    cache = {}
    indices = [nearest(palette[1:], p[:3], cache) + 1 if p[3] >= 128 else 0 for p in pixels]
    return palette, indices


# --------------------------------------------------------------------------- ICO / BMP / PNG

def row_stride(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def and_mask(pixels, size):
    """1 bpp mask, rows bottom-up: 1 where the pixel is transparent."""
    stride = row_stride(size, 1)
    out = bytearray()
    for j in reversed(range(size)):
        row = bytearray(stride)
        for i in range(size):
            if pixels[j * size + i][3] < 128:
                row[i // 8] |= 0x80 >> (i % 8)
        out += row
    return bytes(out)


def dib(pixels, size, bpp):
    """A BITMAPINFOHEADER image as stored in an ICO: height doubled, XOR bitmap, AND mask."""
    mask = and_mask(pixels, size)
    stride = row_stride(size, bpp)
    xor = bytearray()
    palette_bytes = b""
    if bpp == 32:
        for j in reversed(range(size)):
            row = bytearray()
            for i in range(size):
                r, g, b, a = pixels[j * size + i]
                row += bytes((b, g, r, a)) if a else bytes(4)
            xor += row
    else:
        colours = 1 << bpp
        palette, indices = quantize(pixels, colours)
        palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        for j in reversed(range(size)):
            row = bytearray(stride)
            for i in range(size):
                index = indices[j * size + i]
                if bpp == 8:
                    row[i] = index
                else:
                    row[i // 2] |= index << (4 if i % 2 == 0 else 0)
            xor += row
    colours_used = 0 if bpp == 32 else (1 << bpp)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, colours_used, 0)
    return header + palette_bytes + bytes(xor) + mask


def ico(images):
    """images: list of (size, bpp, pixels). Returns the bytes of an .ico file."""
    count = len(images)
    head = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    entries, blobs = b"", b""
    for size, bpp, pixels in images:
        blob = dib(pixels, size, bpp)
        colour_count = 16 if bpp == 4 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, bpp,
                               len(blob), offset)
        blobs += blob
        offset += len(blob)
    return head + entries + blobs


def png(pixels, size):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = bytearray()
    for j in range(size):
        raw.append(0)
        for i in range(size):
            raw += bytes(pixels[j * size + i])
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


# The window reads PNG pictures: Qt decodes them without an image plugin, and only the sizes it
# shows. The .ico files are for the Windows program file (version.rc).
QRC = """<!DOCTYPE RCC>
<RCC version="1.0">
<qresource prefix="/">
    <file>quna16.png</file>
    <file>quna24.png</file>
    <file>quna32.png</file>
    <file>quna48.png</file>
    <file>quna.png</file>
    <file>elabora.png</file>
    <file>esci.png</file>
    <file>folder_closed.png</file>
    <file>folder_open.png</file>
</qresource>
</RCC>
"""


def write(path, data):
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(path, mode, **({} if mode == "wb" else {"newline": "\n", "encoding": "utf-8"})) as f:
        f.write(data)
    print("wrote", path)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "app", "resources")
    os.makedirs(out, exist_ok=True)

    images = []
    for size in (16, 24, 32, 48, 128):
        pixels = render(quna_layers(size), size)
        for bpp in (4, 8, 32):
            images.append((size, bpp, pixels))
        write(os.path.join(out, "quna.png" if size == 128 else "quna%d.png" % size),
              png(pixels, size))
    write(os.path.join(out, "quna.ico"), ico(images))

    for name, layers in (("elabora", elabora_layers), ("esci", esci_layers)):
        write(os.path.join(out, name + ".png"), png(render(layers(32), 32), 32))

    for name, layers in (("folder_closed", folder_closed_layers),
                         ("folder_open", folder_open_layers)):
        write(os.path.join(out, name + ".png"), png(render(layers(16), 16), 16))

    write(os.path.join(out, "resources.qrc"), QRC)


if __name__ == "__main__":
    main()
