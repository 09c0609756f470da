#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "png/png_encoder.h"
#include "png/png_row_kernels.h"

namespace ruvello::png {

// Bytes of one filtered PNG row: the filter-type byte, then R, G, B for each pixel.
inline std::size_t FilteredRowBytes(std::int32_t width) {
    return 1 + 3 * static_cast<std::size_t>(width);
}

// The fastest row kernels this processor runs.
const RowKernels& BestKernels();

// How FilterRows chooses each row's filter.
enum class RowRule {
    // The smallest sum of the filtered bytes taken as signed magnitudes, the raw row at a quarter
    // of its sum: fast, and right for screen content and photos.
    kMinimumSum,
    // The smallest sum with the raw row counted as the others, as libpng chooses: zlib takes dense
    // text smaller from these rows than from the raw rows the discount picks.
    kPlainSum,
    // The fewest bits the filtered bytes would take in a code made for the row alone (the
    // smallest entropy): better where a row mixes photo and text, at several times the cost.
    kEntropy,
    kPaeth,  // Paeth on every row
};

// Turns BGRX rows into filtered RGB rows. One instance serves one thread.
class RowFilter {
  public:
    explicit RowFilter(const RowKernels& kernels = BestKernels()) : kernels_(&kernels) {}

    // Sizes the row buffers, so that FilterRows allocates nothing. Throws std::bad_alloc only.
    void Reserve(std::int32_t width);

    // Writes rows [first, first + count) of `image` to `out`, FilteredRowBytes apart.
    void FilterRows(const PixelRows& image, std::int32_t first, std::int32_t count, RowRule rule,
                    std::uint8_t* out);

  private:
    FilterType LeastSum(const std::uint8_t* cur, const std::uint8_t* above,
                        std::uint64_t raw_divisor) const;
    FilterType LeastEntropy(const std::uint8_t* cur, const std::uint8_t* above);

    const RowKernels* kernels_;
    std::size_t width_ = 0;
    std::size_t row_bytes_ = 0;        // 3 * width
    std::vector<std::uint8_t> rgb_;    // the row above and the current row, each after 3 zeros
    std::vector<std::uint8_t> trial_;  // a row filtered for its entropy
};

}  // namespace ruvello::png
