#include "capture/png_filters.h"

#include <algorithm>
#include <utility>

namespace ruvello::png {
namespace {

const std::uint8_t* RowAt(const PixelRows& image, std::int32_t y) {
    return image.data + static_cast<std::size_t>(y) * image.stride;
}

}  // namespace

const RowKernels& BestKernels() {
    static const RowKernels& best = Avx2Kernels() ? *Avx2Kernels() : PortableKernels();
    return best;
}

void RowFilter::Reserve(std::int32_t width) {
    if (width_ == static_cast<std::size_t>(width)) {
        return;
    }
    width_ = static_cast<std::size_t>(width);
    row_bytes_ = 3 * width_;
    rgb_.assign(2 * (3 + row_bytes_ + kRowSlack), 0);
}

void RowFilter::FilterRows(const PixelRows& image, std::int32_t first, std::int32_t count,
                           PngFilterChoice choice, std::uint8_t* out) {
    const std::size_t n = row_bytes_;
    std::uint8_t* above = rgb_.data() + 3;
    std::uint8_t* cur = above + n + kRowSlack + 3;
    if (first == 0) {
        std::fill_n(above, n, std::uint8_t{0});
    } else {
        kernels_->to_rgb(RowAt(image, first - 1), above, width_);
    }
    for (std::int32_t y = first; y < first + count; ++y, out += 1 + n) {
        kernels_->to_rgb(RowAt(image, y), cur, width_);
        FilterType type = kPaeth;
        if (choice == PngFilterChoice::kMinimumSum) {
            std::uint64_t costs[kFilterTypes];
            kernels_->costs(cur, above, n, costs);
            // A raw row of text or flat colour repeats whole glyphs and runs that deflate takes
            // as long matches, where the residuals, smaller in sum, repeat less: on screens the
            // raw row pays at a quarter of its sum (0.4 % fewer bytes on a busy desktop at level
            // 7, none lost on photos, where the residuals are far smaller).
            costs[kNone] /= 4;
            // The first of equal costs wins, in type order, as in other PNG encoders.
            type = static_cast<FilterType>(std::min_element(costs, costs + kFilterTypes) - costs);
        }
        out[0] = type;
        kernels_->apply(type, cur, above, n, out + 1);
        std::swap(above, cur);
    }
}

}  // namespace ruvello::png
