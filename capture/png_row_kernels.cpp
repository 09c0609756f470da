#include "capture/png_row_kernels.h"

#include <algorithm>

namespace ruvello::png {
namespace {

using Byte = std::uint8_t;

// |v| of the filtered byte taken as signed.
inline unsigned Magnitude(Byte v) {
    return std::min<unsigned>(v, Byte(-v));
}

inline int Abs(int v) {
    return v < 0 ? -v : v;
}

inline Byte PaethPredictor(int a, int b, int c) {
    const int pa = Abs(b - c);
    const int pb = Abs(a - c);
    const int pc = Abs(a + b - 2 * c);
    return static_cast<Byte>((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

// The filtered byte of `x` given its left (a), upper (b) and upper-left (c) neighbours.
inline Byte Filtered(FilterType type, Byte x, Byte a, Byte b, Byte c) {
    switch (type) {
        case kNone:
            return x;
        case kSub:
            return static_cast<Byte>(x - a);
        case kUp:
            return static_cast<Byte>(x - b);
        case kAverage:
            return static_cast<Byte>(x - (a + b) / 2);
        case kPaeth:
            return static_cast<Byte>(x - PaethPredictor(a, b, c));
    }
    return x;
}

void ToRgb(const Byte* bgrx, Byte* rgb, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) {
        rgb[3 * x] = bgrx[4 * x + 2];
        rgb[3 * x + 1] = bgrx[4 * x + 1];
        rgb[3 * x + 2] = bgrx[4 * x];
    }
}

// One loop per type, so that the compiler can vectorise each for the baseline instruction set.
template <FilterType kType>
std::uint64_t Cost(const Byte* cur, const Byte* above, std::size_t n) {
    const Byte* left = cur - 3;
    const Byte* above_left = above - 3;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += Magnitude(Filtered(kType, cur[i], left[i], above[i], above_left[i]));
    }
    return sum;
}

void Costs(const Byte* cur, const Byte* above, std::size_t n, std::uint64_t out[kFilterTypes]) {
    out[kNone] = Cost<kNone>(cur, above, n);
    out[kSub] = Cost<kSub>(cur, above, n);
    out[kUp] = Cost<kUp>(cur, above, n);
    out[kAverage] = Cost<kAverage>(cur, above, n);
    out[kPaeth] = Cost<kPaeth>(cur, above, n);
}

template <FilterType kType>
void ApplyType(const Byte* cur, const Byte* above, std::size_t n, Byte* out) {
    const Byte* left = cur - 3;
    const Byte* above_left = above - 3;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = Filtered(kType, cur[i], left[i], above[i], above_left[i]);
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
