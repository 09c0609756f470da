#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "png/png_encoder.h"

namespace ruvello::pngtest {

// A BGRX test image that owns its pixels; rows may carry padding beyond 4 * width bytes.
struct TestImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bytes;

    PixelRows Rows() const { return {bytes.data(), width, height, stride}; }
};

// The R, G, B bytes a decoder must give back for `image`.
std::vector<std::uint8_t> ExpectedRgb(const PixelRows& image);

// Decodes with libpng's simplified reader. Empty `error` means it decoded as 8-bit RGB without
// alpha.
struct Decoded {
    std::string error;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> rgb;
};
Decoded DecodeWithLibpng(const std::vector<std::uint8_t>& png);

// Walks the file strictly, without libpng: signature, IHDR first, every CRC, IDAT chunks in one
// run, IEND last with nothing after it, and a zlib stream that inflates to exactly the filtered
// rows with nothing after its end. Empty `error` means it passed.
struct Layout {
    std::string error;
    int idat_chunks = 0;
    std::vector<std::uint8_t> filter_types;  // one a row
};
Layout InspectLayout(const std::vector<std::uint8_t>& png);

// Inflates a raw deflate stream with zlib, room for `expected_size` bytes and one more; empty
// when it is not one complete stream.
std::optional<std::vector<std::uint8_t>> InflateRaw(const std::vector<std::uint8_t>& stream,
                                                    std::size_t expected_size);

}  // namespace ruvello::pngtest
