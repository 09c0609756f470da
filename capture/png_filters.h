#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/png_encoder.h"
#include "capture/png_row_kernels.h"

namespace ruvello::png {

// Bytes of one filtered PNG row: the filter-type byte, then R, G, B for each pixel.
inline std::size_t FilteredRowBytes(std::int32_t width) {
    return 1 + 3 * static_cast<std::size_t>(width);
}

// The fastest row kernels this processor runs.
const RowKernels& BestKernels();

// Turns BGRX rows into filtered RGB rows. One instance serves one thread.
class RowFilter {
  public:
    explicit RowFilter(const RowKernels& kernels = BestKernels()) : kernels_(&kernels) {}

    // Sizes the row buffers, so that FilterRows allocates nothing. Throws std::bad_alloc only.
    void Reserve(std::int32_t width);

    // Writes rows [first, first + count) of `image` to `out`, FilteredRowBytes apart.
    void FilterRows(const PixelRows& image, std::int32_t first, std::int32_t count,
                    PngFilterChoice choice, std::uint8_t* out);

  private:
    const RowKernels* kernels_;
    std::size_t width_ = 0;
    std::size_t row_bytes_ = 0;      // 3 * width
    std::vector<std::uint8_t> rgb_;  // the row above and the current row, each after 3 zeros
};

}  // namespace ruvello::png
