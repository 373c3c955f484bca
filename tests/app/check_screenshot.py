"""Checks PNG screenshots of the app: each file is a PNG of the expected size
whose picture is not blank (more than a handful of colours, none covering
nearly all of it). Usage: check_screenshot.py WIDTHxHEIGHT FILE..."""
import sys

from PIL import Image


def problem(path, expected):
    with Image.open(path) as image:
        if image.format != "PNG":
            return "not a PNG"
        if image.size != expected:
            return "size %dx%d" % image.size
        colours = image.convert("RGB").getcolors(maxcolors=1 << 24)
    if len(colours) < 16:
        return "blank: %d colours" % len(colours)
    top = max(count for count, _ in colours) / (expected[0] * expected[1])
    return "blank: one colour covers %.1f %%" % (top * 100) if top > 0.97 else ""


def main():
    expected = tuple(int(n) for n in sys.argv[1].split("x"))
    failed = False
    for path in sys.argv[2:]:
        try:
            found = problem(path, expected)
        except (OSError, SyntaxError, ValueError) as error:  # what Pillow raises for a broken file
            found = "unreadable: %s" % error
        print("%s: %s" % (path, found or "ok"))
        failed = failed or bool(found)
    sys.exit(1 if failed else 0)


main()
