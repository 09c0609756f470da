#include "png_check.h"

#include <png.h>
#include <zlib.h>

#include <cstring>

namespace ruvello::pngtest {
namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Inflates `stream` with zlib, which must end exactly at its last byte.
std::string Inflate(const std::vector<std::uint8_t>& stream, std::vector<std::uint8_t>& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return "inflateInit failed";
    }
    z.next_in = const_cast<std::uint8_t*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    std::string error;
    if (result != Z_STREAM_END) {
        error = "inflate: " + std::to_string(result) + (z.msg ? std::string(" ") + z.msg : "");
    } else if (z.avail_out != 0) {
        error = "the stream holds fewer bytes than the rows need";
    } else if (z.avail_in != 0) {
        error = "bytes after the end of the zlib stream";
    }
    inflateEnd(&z);
    return error;
}

}  // namespace

std::vector<std::uint8_t> ExpectedRgb(const PixelRows& image) {
    std::vector<std::uint8_t> rgb;
    rgb.reserve(3 * std::size_t(image.width) * std::size_t(image.height));
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.data + std::size_t(y) * image.stride;
        for (std::int32_t x = 0; x < image.width; ++x) {
            rgb.insert(rgb.end(), {row[4 * x + 2], row[4 * x + 1], row[4 * x]});
        }
    }
    return rgb;
}

Decoded DecodeWithLibpng(const std::vector<std::uint8_t>& png) {
    Decoded decoded;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        decoded.error = image.message;
        return decoded;
    }
    if (image.format != PNG_FORMAT_RGB) {
        decoded.error = "not 8-bit RGB without alpha: format " + std::to_string(image.format);
        png_image_free(&image);
        return decoded;
    }
    decoded.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, decoded.rgb.data(), 0, nullptr)) {
        decoded.error = image.message;
        return decoded;
    }
    decoded.width = static_cast<std::int32_t>(image.width);
    decoded.height = static_cast<std::int32_t>(image.height);
    return decoded;
}

Layout InspectLayout(const std::vector<std::uint8_t>& png) {
    Layout layout;
    static const std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0) {
        layout.error = "no PNG signature";
        return layout;
    }
    std::vector<std::string> types;
    std::vector<std::uint8_t> stream;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t at = 8;
    while (at < png.size()) {
        if (png.size() - at < 12 || png.size() - at - 12 < ReadU32(&png[at])) {
            layout.error = "truncated chunk";
            return layout;
        }
        const std::uint32_t length = ReadU32(&png[at]);
        const std::uint8_t* type = &png[at + 4];
        const std::uint8_t* data = type + 4;
        if (crc32(crc32(0, nullptr, 0), type, 4 + length) != ReadU32(data + length)) {
            layout.error = "bad CRC";
            return layout;
        }
        types.emplace_back(reinterpret_cast<const char*>(type), 4);
        if (types.back() == "IHDR") {
            static const std::uint8_t kFormat[] = {8, 2, 0, 0, 0};
            if (length != 13 || std::memcmp(data + 8, kFormat, 5) != 0) {
                layout.error = "IHDR is not 8-bit RGB, deflate, no interlace";
                return layout;
            }
            width = ReadU32(data);
            height = ReadU32(data + 4);
        } else if (types.back() == "IDAT") {
            if (types.size() > 2 && types[types.size() - 2] != "IDAT") {
                layout.error = "IDAT chunks are not consecutive";
                return layout;
            }
            ++layout.idat_chunks;
            stream.insert(stream.end(), data, data + length);
        }
        at += 12 + length;
    }
    if (types.size() < 3 || types.front() != "IHDR" || types.back() != "IEND" ||
        layout.idat_chunks == 0) {
        layout.error = "chunks are not IHDR, IDAT..., IEND";
        return layout;
    }
    const std::size_t row_bytes = 1 + 3 * std::size_t(width);
    std::vector<std::uint8_t> rows(row_bytes * height);
    layout.error = Inflate(stream, rows);
    for (std::size_t y = 0; y < height && layout.error.empty(); ++y) {
        layout.filter_types.push_back(rows[y * row_bytes]);
        if (rows[y * row_bytes] > 4) {
            layout.error = "unknown filter type";
        }
    }
    return layout;
}

std::optional<std::vector<std::uint8_t>> InflateRaw(const std::vector<std::uint8_t>& stream,
                                                    std::size_t expected_size) {
    z_stream z{};
    inflateInit2(&z, -15);
    std::vector<std::uint8_t> out(expected_size + 1);
    z.next_in = const_cast<std::uint8_t*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    const bool whole = result == Z_STREAM_END && z.avail_in == 0;
    out.resize(z.total_out);
    inflateEnd(&z);
    return whole ? std::optional<std::vector<std::uint8_t>>(out) : std::nullopt;
}

}  // namespace ruvello::pngtest
