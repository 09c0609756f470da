#include "bench/png_libpng.h"

#include <png.h>

namespace ruvello {

bool EncodeWithLibpng(const BgrxRows& image, std::vector<std::uint8_t>& out) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    // libpng's simplified API cannot skip a filler byte, so convert to BGR rows first.
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(image.width) * 3 *
                                  static_cast<std::size_t>(image.height));
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.data + static_cast<std::size_t>(y) * image.stride;
        std::uint8_t* dst =
            bgr.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) * 3;
        for (std::int32_t x = 0; x < image.width; ++x) {
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    png.format = PNG_FORMAT_BGR;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
    out.resize(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, bgr.data(), 0, nullptr)) {
        return false;
    }
    out.resize(size);
    return true;
}

}  // namespace ruvello
