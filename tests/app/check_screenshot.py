"""Checks PNG screenshots of the app: each file is a PNG of the expected size
whose picture is not blank (more than a handful of colours, none covering
nearly all of it). Usage: check_screenshot.py WIDTHxHEIGHT FILE..."""
import struct
import sys
import zlib


def pixels(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    channels = {2: 3, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace:
        raise ValueError("unexpected PNG format %s" % (header,))
    raw, stride, rows, previous = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, [row[x:x + 3] for row in rows for x in range(0, stride, channels)]


def main():
    expected = tuple(int(n) for n in sys.argv[1].split("x"))
    failed = False
    for path in sys.argv[2:]:
        try:
            width, height, colours = pixels(path)
        except (OSError, ValueError, TypeError, zlib.error) as error:
            print("%s: unreadable: %s" % (path, error))
            failed = True
            continue
        counts = {}
        for c in colours:
            counts[c] = counts.get(c, 0) + 1
        top = max(counts.values()) / len(colours)
        problem = ("size %dx%d" % (width, height) if (width, height) != expected
                   else "blank: %d colours" % len(counts) if len(counts) < 16
                   else "blank: one colour covers %.1f %%" % (top * 100) if top > 0.97 else "")
        print("%s: %s" % (path, problem or "ok (%d colours)" % len(counts)))
        failed = failed or bool(problem)
    sys.exit(1 if failed else 0)


main()
