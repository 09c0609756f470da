#include "capture/x11/pixel_layout.h"

namespace ruvello {
namespace {

// A channel mask as shift and width, and the value scaled to 0...255.
struct Channel {
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t mask) {
        if (mask == 0) {
            return;
        }
        while (!(mask & 1u)) {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1u) {
            mask >>= 1;
            ++bits;
        }
    }

    std::uint8_t From(std::uint32_t pixel) const {
        if (bits == 0) {
            return 0;
        }
        const std::uint32_t max = (1u << bits) - 1u;
        const std::uint32_t value = (pixel >> shift) & max;
        return static_cast<std::uint8_t>((value * 255u + max / 2) / max);
    }
};

std::uint32_t ReadPixel(const std::uint8_t* p, int bytes, bool msbFirst) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        const int index = msbFirst ? i : bytes - 1 - i;
        value = (value << 8) | p[index];
    }
    return value;
}

}  // namespace

BgrxRows ConvertToBgrx(const std::uint8_t* data, std::int32_t width, std::int32_t height,
                       std::size_t stride, const PixelLayout& layout,
                       std::vector<std::uint8_t>& out) {
    const Channel red(layout.redMask), green(layout.greenMask), blue(layout.blueMask);
    const int bytes = layout.bitsPerPixel / 8;
    const auto w = static_cast<std::size_t>(width);
    out.resize(w * 4 * static_cast<std::size_t>(height));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* src = data + static_cast<std::size_t>(y) * stride;
        std::uint8_t* dst = out.data() + static_cast<std::size_t>(y) * w * 4;
        for (std::size_t x = 0; x < w; ++x, src += bytes, dst += 4) {
            const std::uint32_t pixel = ReadPixel(src, bytes, layout.msbFirst);
            dst[0] = blue.From(pixel);
            dst[1] = green.From(pixel);
            dst[2] = red.From(pixel);
            dst[3] = 0xFF;
        }
    }
    return {out.data(), width, height, w * 4};
}

}  // namespace ruvello
