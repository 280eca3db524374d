#!/usr/bin/python3
"""Helpers of capture-on-desktop.sh: a known picture on the root window, and the checks.

    desktop_image.py paint               the root red, its top left 640x400 pixels blue
    desktop_image.py png FILE W H BW BH  FILE is a W x H PNG, blue in its top left BW x BH, else red
    desktop_image.py json EXPECTED       standard input is one JSON line equal to EXPECTED

Each check prints what is wrong and exits 1 when it fails.
"""
import json
import struct
import sys
import zlib

RED, BLUE = (255, 0, 0), (0, 0, 255)


def paint():
    from Xlib import X, display
    server = display.Display()
    screen = server.screen()
    colours = screen.default_colormap
    red = colours.alloc_color(65535, 0, 0).pixel
    blue = colours.alloc_color(0, 0, 65535).pixel
    # The background is what the server repaints with; the blue is drawn once, and nothing on an
    # empty desktop exposes it.
    screen.root.change_attributes(background_pixel=red)
    screen.root.clear_area()
    screen.root.fill_rectangle(screen.root.create_gc(foreground=blue), 0, 0, 640, 400)
    server.sync()


def paeth(left, up, corner):
    estimate = left + up - corner
    return min((abs(estimate - left), 0, left), (abs(estimate - up), 1, up),
               (abs(estimate - corner), 2, corner))[2]


def decode(data):
    """Width, height and rows of RGB tuples of an 8-bit RGB PNG without interlace."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    chunks, offset = {}, 8
    while offset < len(data):
        length, kind = struct.unpack(">I4s", data[offset:offset + 8])
        chunks[kind] = chunks.get(kind, b"") + data[offset + 8:offset + 8 + length]
        offset += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    assert (depth, colour, interlace) == (8, 2, 0), "not 8-bit RGB without interlace"
    raw, stride, rows, previous = zlib.decompress(chunks[b"IDAT"]), width * 3, [], bytes(width * 3)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - 3] if x >= 3 else 0
            corner = previous[x - 3] if x >= 3 else 0
            predictor = (0, left, previous[x], (left + previous[x]) // 2,
                         paeth(left, previous[x], corner))[kind]
            line[x] = (line[x] + predictor) & 0xFF
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, 3)])
        previous = line
    return width, height, rows


def check_png(path, width, height, blue_width, blue_height):
    with open(path, "rb") as source:
        found_width, found_height, rows = decode(source.read())
    if (found_width, found_height) != (width, height):
        sys.exit("%s is %dx%d, not %dx%d" % (path, found_width, found_height, width, height))
    for y, row in enumerate(rows):
        for x, pixel in enumerate(row):
            expected = BLUE if x < blue_width and y < blue_height else RED
            if pixel != expected:
                sys.exit("%s: pixel %d,%d is %s, not %s" % (path, x, y, pixel, expected))


def main():
    if sys.argv[1] == "paint":
        paint()
    elif sys.argv[1] == "png":
        check_png(sys.argv[2], *map(int, sys.argv[3:7]))
    elif sys.argv[1] == "json":
        found, expected = sys.stdin.read(), json.loads(sys.argv[2])
        if found.count("\n") != 1 or json.loads(found) != expected:
            sys.exit("the line %r is not %r" % (found, expected))


main()
