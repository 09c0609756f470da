#include "png/png_row_kernels.h"

#include <algorithm>
#include <cstring>

namespace ruvello::png {
namespace {

using Byte = std::uint8_t;

inline std::uint32_t ByteSwap(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

// |v| of the filtered byte taken as signed.
inline unsigned Magnitude(Byte v) {
    return std::min<unsigned>(v, Byte(-v));
}

// A pixel read as a little-endian word is X << 24 | R << 16 | G << 8 | B; byte-swapped and
// shifted, R, G, B in its low three bytes, written as a word whose fourth byte the next pixel
// overwrites (the last one's falls into the row's slack).
void ToRgb(const Byte* bgrx, Byte* rgb, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, bgrx + 4 * x, 4);
        pixel = ByteSwap(pixel) >> 8;
        std::memcpy(rgb + 3 * x, &pixel, 4);
    }
}

// The loops below run over chunks of kChunk bytes with an inner loop of a fixed count, which
// compilers vectorise for the baseline instruction set (SSE2 on x86-64) even at their cheapest
// cost model (GCC's at -O2), and leave the last bytes to a plain loop.
constexpr std::size_t kChunk = 16;

// The filtered byte of type `kType` at i of the row, for the chunked loops: Paeth's predictor in
// 16-bit lanes, which vectorise, and Average's without a carry out of the byte.
// The neighbours are read through pointers shifted by a pixel, not at i - 3, which would wrap
// below zero for the first pixel.
struct Row {
    const Byte* cur;
    const Byte* left;  // cur - 3
    const Byte* above;
    const Byte* above_left;  // above - 3
    Row(const Byte* c, const Byte* a) : cur(c), left(c - 3), above(a), above_left(a - 3) {}
};

template <FilterType kType>
inline Byte FilteredAt(const Row& row, std::size_t i) {
    const Byte x = row.cur[i];
    const Byte a = row.left[i];
    const Byte b = row.above[i];
    const Byte c = row.above_left[i];
    if constexpr (kType == kNone) {
        return x;
    } else if constexpr (kType == kSub) {
        return static_cast<Byte>(x - a);
    } else if constexpr (kType == kUp) {
        return static_cast<Byte>(x - b);
    } else if constexpr (kType == kAverage) {
        return static_cast<Byte>(x - ((a & b) + ((a ^ b) >> 1)));
    } else {
        const auto pa = static_cast<std::int16_t>(b - c);
        const auto pb = static_cast<std::int16_t>(a - c);
        const auto pc = static_cast<std::int16_t>(pa + pb);
        const auto abs_a = static_cast<std::int16_t>(pa < 0 ? -pa : pa);
        const auto abs_b = static_cast<std::int16_t>(pb < 0 ? -pb : pb);
        const auto abs_c = static_cast<std::int16_t>(pc < 0 ? -pc : pc);
        const Byte b_or_c = abs_b <= abs_c ? b : c;
        return static_cast<Byte>(x - (abs_a <= abs_b && abs_a <= abs_c ? a : b_or_c));
    }
}

// Adds the magnitudes of one chunk of each type to 16-bit lanes.
inline void AddChunk(const Row& row, std::size_t i, std::uint16_t lanes[kFilterTypes][kChunk]) {
    for (std::size_t k = 0; k < kChunk; ++k) {
        lanes[kNone][k] =
            static_cast<std::uint16_t>(lanes[kNone][k] + Magnitude(FilteredAt<kNone>(row, i + k)));
        lanes[kSub][k] =
            static_cast<std::uint16_t>(lanes[kSub][k] + Magnitude(FilteredAt<kSub>(row, i + k)));
        lanes[kUp][k] =
            static_cast<std::uint16_t>(lanes[kUp][k] + Magnitude(FilteredAt<kUp>(row, i + k)));
        lanes[kAverage][k] = static_cast<std::uint16_t>(
            lanes[kAverage][k] + Magnitude(FilteredAt<kAverage>(row, i + k)));
        lanes[kPaeth][k] = static_cast<std::uint16_t>(lanes[kPaeth][k] +
                                                      Magnitude(FilteredAt<kPaeth>(row, i + k)));
    }
}

void Costs(const Byte* cur, const Byte* above, std::size_t n, std::uint64_t out[kFilterTypes]) {
    const Row row(cur, above);
    std::fill_n(out, kFilterTypes, std::uint64_t{0});
    // A lane takes at most 128 a chunk, so 16 bits hold the sums of 256 chunks.
    constexpr std::size_t kChunksPerSum = 256;
    std::size_t i = 0;
    while (i + kChunk <= n) {
        std::uint16_t lanes[kFilterTypes][kChunk] = {};
        for (std::size_t c = 0; c < kChunksPerSum && i + kChunk <= n; ++c, i += kChunk) {
            AddChunk(row, i, lanes);
        }
        for (int t = 0; t < kFilterTypes; ++t) {
            for (std::size_t k = 0; k < kChunk; ++k) {
                out[t] += lanes[t][k];
            }
        }
    }
    for (; i < n; ++i) {
        out[kNone] += Magnitude(FilteredAt<kNone>(row, i));
        out[kSub] += Magnitude(FilteredAt<kSub>(row, i));
        out[kUp] += Magnitude(FilteredAt<kUp>(row, i));
        out[kAverage] += Magnitude(FilteredAt<kAverage>(row, i));
        out[kPaeth] += Magnitude(FilteredAt<kPaeth>(row, i));
    }
}

template <FilterType kType>
void ApplyType(const Byte* cur, const Byte* above, std::size_t n, Byte* out) {
    const Row row(cur, above);
    std::size_t i = 0;
    for (; i + kChunk <= n; i += kChunk) {
        Byte chunk[kChunk];  // which `out` cannot overlap, so no check stops the vectorising
        for (std::size_t k = 0; k < kChunk; ++k) {
            chunk[k] = FilteredAt<kType>(row, i + k);
        }
        std::memcpy(out + i, chunk, kChunk);
    }
    for (; i < n; ++i) {
        out[i] = FilteredAt<kType>(row, i);
    }
}
void Apply(FilterType type, const Byte* cur, const Byte* above, std::size_t n, Byte* out) {
    switch (type) {
        case kNone:
            return ApplyType<kNone>(cur, above, n, out);
        case kSub:
            return ApplyType<kSub>(cur, above, n, out);
        case kUp:
            return ApplyType<kUp>(cur, above, n, out);
        case kAverage:
            return ApplyType<kAverage>(cur, above, n, out);
        case kPaeth:
            return ApplyType<kPaeth>(cur, above, n, out);
    }
}

}  // namespace

const RowKernels& PortableKernels() {
    static constexpr RowKernels kernels{ToRgb, Costs, Apply};
    return kernels;
}

}  // namespace ruvello::png
