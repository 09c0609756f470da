#include "capture/png_filters.h"

#include <algorithm>
#include <cstring>
#include <utility>

// Each row kernel is compiled for AVX2 too and picked at load time, since the release build
// targets plain x86-64 (SSE2) and these loops run over every byte of the screen.
#if defined(__x86_64__) && defined(__ELF__)
#define RUVELLO_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define RUVELLO_ROW_KERNEL
#endif

namespace ruvello::png {
namespace {

using Byte = std::uint8_t;

constexpr Byte kSub = 1;
constexpr Byte kUp = 2;
constexpr Byte kPaeth = 4;

// |v| of the filtered byte taken as signed, the cost measure of the minimum-sum heuristic.
inline Byte Magnitude(Byte v) {
    return std::min(v, static_cast<Byte>(-v));
}

inline std::int16_t Abs16(int v) {
    return static_cast<std::int16_t>(v < 0 ? -v : v);
}

RUVELLO_ROW_KERNEL void ToRgb(const Byte* __restrict bgrx, Byte* __restrict rgb,
                              std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) {
        rgb[3 * x] = bgrx[4 * x + 2];
        rgb[3 * x + 1] = bgrx[4 * x + 1];
        rgb[3 * x + 2] = bgrx[4 * x];
    }
}

// The kernels read the left neighbours of the first pixel too: both rows have three zero bytes in
// front, the neighbours a PNG decoder assumes. Their 32-bit sums wrap only
// on rows wider than 11 million pixels, which merely weakens the choice.
RUVELLO_ROW_KERNEL std::uint32_t SubRow(const Byte* __restrict cur, std::size_t n,
                                        Byte* __restrict out) {
    const Byte* left = cur - 3;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<Byte>(cur[i] - left[i]);
        sum += Magnitude(out[i]);
    }
    return sum;
}

RUVELLO_ROW_KERNEL std::uint32_t UpRow(const Byte* __restrict cur, const Byte* __restrict above,
                                       std::size_t n, Byte* __restrict out) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<Byte>(cur[i] - above[i]);
        sum += Magnitude(out[i]);
    }
    return sum;
}

RUVELLO_ROW_KERNEL std::uint32_t PaethRow(const Byte* __restrict cur, const Byte* __restrict above,
                                          std::size_t n, Byte* __restrict out) {
    const Byte* left = cur - 3;
    const Byte* above_left = above - 3;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int16_t a = left[i];
        const std::int16_t b = above[i];
        const std::int16_t c = above_left[i];
        // Distances of the estimate a + b - c from a, b and c, in 16 bits so the loop vectorises.
        const std::int16_t pa = Abs16(b - c);
        const std::int16_t pb = Abs16(a - c);
        const std::int16_t pc = Abs16(a + b - 2 * c);
        const std::int16_t predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        out[i] = static_cast<Byte>(cur[i] - predictor);
        sum += Magnitude(out[i]);
    }
    return sum;
}

const Byte* RowAt(const PixelRows& image, std::int32_t y) {
    return image.data + static_cast<std::size_t>(y) * image.stride;
}

}  // namespace

void RowFilter::Reserve(std::int32_t width) {
    width_ = static_cast<std::size_t>(width);
    row_bytes_ = 3 * width_;
    rgb_.assign(2 * (3 + row_bytes_), 0);
    trial_.resize(3 * row_bytes_);
}

void RowFilter::FilterRows(const PixelRows& image, std::int32_t first, std::int32_t count,
                           PngFilterChoice choice, std::uint8_t* out) {
    const std::size_t n = row_bytes_;
    Byte* above = rgb_.data() + 3;
    Byte* cur = above + n + 3;
    if (first == 0) {
        std::fill_n(above, n, Byte{0});
    } else {
        ToRgb(RowAt(image, first - 1), above, width_);
    }
    for (std::int32_t y = first; y < first + count; ++y, out += 1 + n) {
        ToRgb(RowAt(image, y), cur, width_);
        if (choice == PngFilterChoice::kPaeth) {
            out[0] = kPaeth;
            PaethRow(cur, above, n, out + 1);
        } else {
            constexpr Byte kTypes[] = {kSub, kUp, kPaeth};
            Byte* const trials[] = {trial_.data(), trial_.data() + n, trial_.data() + 2 * n};
            const std::uint32_t sums[] = {SubRow(cur, n, trials[0]),
                                          UpRow(cur, above, n, trials[1]),
                                          PaethRow(cur, above, n, trials[2])};
            const auto best = static_cast<std::size_t>(std::min_element(sums, sums + 3) - sums);
            out[0] = kTypes[best];
            std::memcpy(out + 1, trials[best], n);
        }
        std::swap(above, cur);
    }
}

}  // namespace ruvello::png
