"""Writes the heightmaps and splat maps of the terrain case into the working
directory: good ones (a non-ASCII name among them), and one of each kind of
bad input a user may give."""
import struct
import sys
import zlib


def png(name, width, height, rows, depth=16, colour=0, cut=0, claim=None):
    """A PNG of rows (bytes per row, filter 0), or one whose header claims
    another size, or one cut short by cut bytes."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    w, h = claim or (width, height)
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0, 0)
    idat = zlib.compress(b"".join(b"\0" + r for r in rows))
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", idat) + chunk(b"IEND", b"")
    open(name, "wb").write(data[: len(data) - cut])


def hill(side, x, z):
    return int(30000 + 20000 * ((x - side / 2) * (z - side / 2)) / (side * side / 4)) & 0xFFFF


def main():
    side = 200
    raw = b"".join(struct.pack("<H", hill(side, x, z)) for z in range(side) for x in range(side))
    open("hügel ⛰.r16", "wb").write(raw)
    rows16 = [b"".join(struct.pack(">H", hill(side, x, z)) for x in range(side)) for z in range(side)]
    png("map16.png", side, side, rows16)
    png("flat.png", 80, 80, [bytes(80)] * 80, depth=8)
    png("step.png", 80, 80, [bytes(40) + b"\xff" * 40] * 80, depth=8)
    png("splat.png", side - 3, side - 3, [bytes([x % 8 for x in range(side - 3)])] * (side - 3), depth=8)
    # The bad ones.
    open("empty.png", "wb").close()
    open("text.png", "w").write("not a picture at all\n")
    png("cut.png", side, side, rows16, cut=4000)
    png("colour.png", 80, 80, [bytes(240)] * 80, depth=8, colour=2)
    png("small.png", 60, 60, [bytes(60)] * 60, depth=8)
    png("huge.png", 80, 80, [bytes(80)] * 80, depth=8, claim=(100000, 100000))
    open("odd.raw", "wb").write(raw[:-2])
    open("short.hgt", "wb").write(bytes(2 * 1201 * 1200))
    png("splat-size.png", 50, 50, [bytes(50)] * 50, depth=8)
    png("splat-nine.png", side - 3, side - 3, [bytes([9]) * (side - 3)] * (side - 3), depth=8)


if __name__ == "__main__":
    sys.exit(main())
