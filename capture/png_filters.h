#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/png_encoder.h"

namespace ruvello::png {

// Bytes of one filtered PNG row: the filter-type byte, then R, G, B for each pixel.
inline std::size_t FilteredRowBytes(std::int32_t width) {
    return 1 + 3 * static_cast<std::size_t>(width);
}

// Turns BGRX rows into filtered RGB rows. One instance serves one thread.
class RowFilter {
  public:
    // Sizes the row buffers, so that FilterRows allocates nothing. Throws std::bad_alloc only.
    void Reserve(std::int32_t width);

    // Writes rows [first, first + count) of `image` to `out`, FilteredRowBytes apart.
    void FilterRows(const PixelRows& image, std::int32_t first, std::int32_t count,
                    PngFilterChoice choice, std::uint8_t* out);

  private:
    std::size_t width_ = 0;
    std::size_t row_bytes_ = 0;        // 3 * width
    std::vector<std::uint8_t> rgb_;    // the row above and the current row, each after 3 zeros
    std::vector<std::uint8_t> trial_;  // the Sub, Up and Paeth forms of the current row
};

}  // namespace ruvello::png
