#!/usr/bin/env python3
"""Draws the program icon, a round blue information sign with a white lower-case i, at the
sizes the desktops ask for, and writes ruvello-<size>.png (Linux: 64 for the tray, all of them for
the icon theme of the installed program) and ruvello.ico (Windows)."""
import struct
import sys
import zlib
from pathlib import Path

BLUE = (0x1F, 0x6F, 0xD6)
WHITE = (0xFF, 0xFF, 0xFF)
SAMPLES = 4  # per axis, for smooth edges


def coverage(x, y):
    """Which shape a point of the unit square [0,1]^2 lies in: 0 outside, 1 sign, 2 letter."""
    dx, dy = x - 0.5, y - 0.5
    if dx * dx + dy * dy > 0.47 * 0.47:
        return 0
    dot = (x - 0.5) ** 2 + (y - 0.27) ** 2 <= 0.075 ** 2
    stem = abs(x - 0.5) <= 0.062 and 0.40 <= y <= 0.76
    foot = abs(x - 0.5) <= 0.12 and 0.70 <= y <= 0.76
    cap = 0.43 <= x <= 0.562 and 0.40 <= y <= 0.45
    return 2 if (dot or stem or foot or cap) else 1


def render(size):
    """Rows of (r, g, b, a) tuples, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            counts = [0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    counts[coverage(x, y)] += 1
            inside = counts[1] + counts[2]
            if inside == 0:
                row.append((0, 0, 0, 0))
                continue
            t = counts[2] / inside
            rgb = tuple(round(b * (1 - t) + w * t) for b, w in zip(BLUE, WHITE))
            row.append(rgb + (round(255 * inside / SAMPLES ** 2),))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(rows):
    """A 32-bit icon image: BITMAPINFOHEADER, bottom-up BGRA pixels, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico(images):
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + blobs


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
    for size in (16, 24, 32, 48, 64, 128, 256):
        (out / f"ruvello-{size}.png").write_bytes(png(render(size)))
    (out / "ruvello.ico").write_bytes(ico([(s, dib(render(s))) for s in (16, 20, 24, 32, 48, 64)]))


if __name__ == "__main__":
    main()
