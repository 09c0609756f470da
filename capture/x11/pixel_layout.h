#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ruvello {

// How a grabbed image stores its pixels: any depth of TrueColor X image.
struct PixelLayout {
    int bitsPerPixel = 32;  // 16, 24 or 32
    bool msbFirst = false;  // byte order of a pixel value in memory
    std::uint32_t redMask = 0xFF0000;
    std::uint32_t greenMask = 0x00FF00;
    std::uint32_t blueMask = 0x0000FF;

    // Already bytes B, G, R, X in memory: the encoder can read it as it is.
    bool IsBgrx() const {
        return bitsPerPixel == 32 && !msbFirst && redMask == 0xFF0000 && greenMask == 0x00FF00 &&
               blueMask == 0x0000FF;
    }
};

// An image of 32-bit pixels, bytes B, G, R, X, rows `stride` bytes apart.
struct BgrxRows {
    const std::uint8_t* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
};

// Converts rows of any layout to B, G, R, X bytes (channels scaled to 8 bits) into `out`.
BgrxRows ConvertToBgrx(const std::uint8_t* data, std::int32_t width, std::int32_t height,
                       std::size_t stride, const PixelLayout& layout,
                       std::vector<std::uint8_t>& out);

}  // namespace ruvello
