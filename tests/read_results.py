"""Reads what an end-to-end run left behind: `read_results.py picture|memcheck ARGS`
prints what it found wrong (picture: every point it read, too), and exits with 1 if anything was."""
import math, sys
import xml.etree.ElementTree as ElementTree

COLOURS = dict(red=(1, 0, 0), green=(0, 1, 0), blue=(0, 0, 1),
               cyan=(0, 1, 1), magenta=(1, 0, 1), yellow=(1, 1, 0))


def srgb(linear):  # a linear channel value in 0..1, sRGB-encoded in 0..255
    encoded = 12.92 * linear if linear <= 0.0031308 else 1.055 * linear ** (1 / 2.4) - 0.055
    return round(255 * encoded)


def points_to_read(width, height, seconds):
    """(kind, x, y): the centre (c); inside the triangle at any angle (i); black, beyond it (k); at
    SECONDS, the corners (R, G, B at 90 + 10 x SECONDS degrees, 120 apart) and black opposite R."""
    def at(kind, fraction, degrees):
        radius, angle = fraction * min(width, height) / 2, math.radians(degrees)
        x, y = int(width / 2 + radius * math.cos(angle)), int(height / 2 - radius * math.sin(angle))
        return [(kind, x, y)] if 0 <= x < width and 0 <= y < height else []
    points = at('c', 0, 0)
    for degrees in range(0, 360, 45):
        points += at('i', 0.4, degrees) + at('k', 1.08, degrees)
    if seconds != '-':
        red = 90 + 10 * float(seconds)
        points += at('R', 0.9, red) + at('G', 0.9, red - 120) + at('B', 0.9, red + 120)
        points += at('k', 0.7, red + 180)
    return points


def colour_fits(kind, pixel, corners):
    if kind in 'ik':
        return sum(pixel) >= 120 if kind == 'i' else sum(pixel) <= 30
    if kind == 'c':  # the mean of the corners' colours
        centre = [srgb(sum(channel) / 3) for channel in zip(*corners)]
        return all(abs(value - expected) <= 10 for value, expected in zip(pixel, centre))
    corner = corners['RGB'.index(kind)]
    return all((value > 200) == bool(bright) for value, bright in zip(pixel, corner))


def picture(ppm, seconds, corners):
    """The triangle fills the largest centred square of the picture, its corners at the angle of
    the clock's SECONDS, of the colours CORNERS (red,green,blue); "-" for any."""
    _, width, height, _, pixels = open(ppm, 'rb').read().split(maxsplit=4)  # binary PPM, 8-bit
    width, height = int(width), int(height)
    print(f'picture of {width}x{height} (kind x y: red green blue):')
    corners = [COLOURS[c] for c in (corners if corners != '-' else 'red,green,blue').split(',')]
    fits = True
    for kind, x, y in points_to_read(width, height, seconds):
        pixel = tuple(pixels[(y * width + x) * 3:][:3])
        print(f'  {kind} {x} {y}: {" ".join(map(str, pixel))}')
        fits = colour_fits(kind, pixel, corners) and fits
    return fits


def memcheck(xml, program):
    """Valgrind finished its report, and no error's first frame outside Valgrind lies in PROGRAM."""
    owned = 0  # an unfinished report raises ParseError, which fails the case too
    for error in ElementTree.parse(xml).iter('error'):
        objects = [obj.text for obj in error.iter('obj') if 'vgpreload' not in obj.text]
        owned += bool(objects) and program in objects[0]
    if owned:
        print(owned, 'memcheck errors in the program')
    return owned == 0


if __name__ == '__main__':
    commands = {'picture': picture, 'memcheck': memcheck}
    sys.exit(0 if commands[sys.argv[1]](*sys.argv[2:]) else 1)
