"""Readers for the files the Windows program writes, independent of the program: PNG (decoded
with zlib by the PNG rules) and shell links (.lnk, by Microsoft's [MS-SHLLINK] layout)."""
import struct
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
from pngcheck import unfilter  # noqa: E402  the row filters, shared with the Linux tests

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Image:
    """Decoded pixels: rows of bytes, `channels` bytes per pixel (RGB or RGBA, 8 bits each)."""

    def __init__(self, width, height, channels, rows):
        self.width, self.height, self.channels, self.rows = width, height, channels, rows

    def pixel(self, x, y):
        at = x * self.channels
        return tuple(self.rows[y][at:at + 3])

    def share(self, predicate, step=4):
        """The share of sampled pixels (every `step`-th in both directions) that fulfil
        `predicate(rgb)`."""
        hits = total = 0
        for y in range(0, self.height, step):
            for x in range(0, self.width, step):
                total += 1
                hits += bool(predicate(self.pixel(x, y)))
        return hits / total


def _png_parts(data):
    """Header fields, channels and the inflated image data of a non-interlaced 8-bit RGB or
    RGBA PNG; raises ValueError on anything broken (bad signature, CRC, missing chunks, wrong
    data length)."""
    if not data.startswith(PNG_SIGNATURE):
        raise ValueError("no PNG signature")
    at, header, idat, ended = len(PNG_SIGNATURE), None, b"", False
    while at < len(data):
        if at + 8 > len(data):
            raise ValueError("truncated chunk header")
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc = data[at + 8 + length:at + 12 + length]
        if len(body) != length or len(crc) != 4:
            raise ValueError("truncated chunk " + kind.decode("latin-1"))
        if struct.unpack(">I", crc)[0] != zlib.crc32(kind + body):
            raise ValueError("CRC mismatch in " + kind.decode("latin-1"))
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            ended = True
            break
        at += 12 + length
    if header is None or not idat or not ended:
        raise ValueError("IHDR, IDAT or IEND missing")
    width, height, depth, color, _, _, interlace = header
    channels = {2: 3, 6: 4}.get(color)
    if depth != 8 or channels is None or interlace != 0:
        raise ValueError(f"unsupported PNG form: depth {depth}, colour type {color}")
    raw = zlib.decompress(idat)
    if len(raw) != height * (width * channels + 1):
        raise ValueError("image data of the wrong length")
    return width, height, channels, raw


def check_png(data):
    """Everything `decode_png` checks but the filters of the rows (fast on big images); returns
    width and height."""
    width, height, channels, raw = _png_parts(data)
    stride = width * channels + 1
    if any(raw[y * stride] > 4 for y in range(height)):
        raise ValueError("bad filter type")
    return width, height


def decode_png(data):
    """Decodes a non-interlaced 8-bit RGB or RGBA PNG; raises ValueError on anything broken."""
    width, height, channels, raw = _png_parts(data)
    pixels = unfilter(raw, width, height, channels)
    stride = width * channels
    rows = [pixels[y * stride:(y + 1) * stride] for y in range(height)]
    return Image(width, height, channels, rows)


def png_size(data):
    """Width and height from the IHDR chunk."""
    if not data.startswith(PNG_SIGNATURE) or data[12:16] != b"IHDR":
        raise ValueError("no PNG header")
    return struct.unpack(">II", data[16:24])


SHELL_LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")
HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x1, 0x2, 0x4, 0x8
HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION, IS_UNICODE = 0x10, 0x20, 0x40, 0x80


def _c_string(data, at, wide):
    if wide:
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[at:end].decode("utf-16-le")
    end = data.index(b"\0", at)
    return data[at:end].decode("latin-1")


def parse_shell_link(data):
    """The fields of a .lnk file: show_command, icon_index, flags, and where present
    local_base_path (the target from the link info), working_dir, icon_location, arguments,
    relative_path, name."""
    if len(data) < 0x4C or struct.unpack("<I", data[:4])[0] != 0x4C:
        raise ValueError("no shell link header")
    if data[4:20] != SHELL_LINK_CLSID:
        raise ValueError("wrong shell link CLSID")
    flags = struct.unpack("<I", data[20:24])[0]
    icon_index, show_command = struct.unpack("<iI", data[56:64])
    link = {"flags": flags, "icon_index": icon_index, "show_command": show_command}
    at = 0x4C
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack("<H", data[at:at + 2])[0]
    if flags & HAS_LINK_INFO:
        info = data[at:]
        size, header_size, info_flags = struct.unpack("<III", info[:12])
        base_offset, _, suffix_offset = struct.unpack("<III", info[16:28])
        if info_flags & 1:  # VolumeIDAndLocalBasePath
            if header_size >= 0x24:
                wide_base = struct.unpack("<I", info[28:32])[0]
                wide_suffix = struct.unpack("<I", info[32:36])[0]
                base = _c_string(info, wide_base, True)
                suffix = _c_string(info, wide_suffix, True) if wide_suffix else ""
            else:
                base = _c_string(info, base_offset, False)
                suffix = _c_string(info, suffix_offset, False) if suffix_offset else ""
            link["local_base_path"] = base + suffix
        at += size
    wide = bool(flags & IS_UNICODE)
    for bit, name in ((HAS_NAME, "name"), (HAS_RELATIVE_PATH, "relative_path"),
                      (HAS_WORKING_DIR, "working_dir"), (HAS_ARGUMENTS, "arguments"),
                      (HAS_ICON_LOCATION, "icon_location")):
        if flags & bit:
            count = struct.unpack("<H", data[at:at + 2])[0]
            at += 2
            size = count * (2 if wide else 1)
            raw = data[at:at + size]
            text = raw.decode("utf-16-le") if wide else raw.decode("latin-1")
            link[name] = text.rstrip("\0")  # some writers count the terminating zero too
            at += size
    return link
