"""A small PNG reader of our own (zlib from the standard library), independent of the encoders
under test: checks chunk CRCs and structure and returns the decoded RGB pixels."""
import struct
import zlib


class PngError(ValueError):
    pass


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def unfilter(raw, width, height, bpp):
    """The rows' bytes after undoing their filters; `raw` holds each row's filter byte first."""
    stride = width * bpp
    out = bytearray(stride * height)
    prev = bytearray(stride)
    pos = 0
    for y in range(height):
        kind = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        if kind == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 0xFF
        elif kind == 2:
            line = bytearray((a + b) & 0xFF for a, b in zip(line, prev))
        elif kind == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                up_left = prev[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + _paeth(left, prev[i], up_left)) & 0xFF
        elif kind != 0:
            raise PngError(f"filter type {kind} in row {y}")
        out[y * stride:(y + 1) * stride] = line
        prev = line
    return bytes(out)


def _decompress(path):
    """(width, height, bytes per pixel, the filtered rows) of an 8-bit RGB or RGBA PNG, after
    checking its chunks, its zlib stream and each row's filter type."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise PngError("no PNG signature")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(kind + body) != crc:
            raise PngError(f"bad CRC in {kind!r}")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        raise PngError("no IHDR")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise PngError(f"unexpected format depth={depth} colour={colour} interlace={interlace}")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    if len(raw) != height * (1 + width * bpp):
        raise PngError("image data has the wrong length")
    stride = 1 + width * bpp
    if any(raw[y * stride] > 4 for y in range(height)):
        raise PngError("a row has an unknown filter type")
    return width, height, bpp, raw


def png_size(path):
    """(width, height) of a PNG that decodes: everything read_png checks but the pixel values,
    for tests that look at many large files."""
    width, height, _, _ = _decompress(path)
    return width, height


def read_png(path):
    """(width, height, rgb bytes) of an 8-bit RGB or RGBA PNG; alpha is dropped."""
    width, height, bpp, raw = _decompress(path)
    pixels = unfilter(raw, width, height, bpp)
    if bpp == 4:
        pixels = bytes(b for i, b in enumerate(pixels) if i % 4 != 3)
    return width, height, pixels


def write_png(path, width, height, rgb):
    """An unfiltered RGB PNG, for seeding folders and root-window patterns."""
    raw = b"".join(b"\0" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))
