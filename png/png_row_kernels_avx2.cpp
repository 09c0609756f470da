#include "png/png_row_kernels.h"

// The release build targets plain x86-64, so these functions carry their own target and run
// only where the processor reports AVX2.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#define RUVELLO_AVX2 __attribute__((target("avx2")))

namespace ruvello::png {
namespace {

using Byte = std::uint8_t;

RUVELLO_AVX2 inline __m256i Load(const Byte* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// 32 bytes of the row with their left (a), upper (b) and upper-left (c) neighbours.
struct Neighbours {
    __m256i x, a, b, c;
};

RUVELLO_AVX2 inline Neighbours LoadAt(const Byte* cur, const Byte* above, std::size_t i) {
    return {Load(cur + i), Load(cur + i - 3), Load(above + i), Load(above + i - 3)};
}

// The Paeth predictor on 16 lanes of 16 bits: a, b or c, whichever is closest to a + b - c, ties
// in that order.
RUVELLO_AVX2 inline __m256i Paeth16(__m256i a, __m256i b, __m256i c) {
    const __m256i p = _mm256_sub_epi16(b, c);
    const __m256i q = _mm256_sub_epi16(a, c);
    const __m256i pa = _mm256_abs_epi16(p);
    const __m256i pb = _mm256_abs_epi16(q);
    const __m256i pc = _mm256_abs_epi16(_mm256_add_epi16(p, q));
    const __m256i smallest = _mm256_min_epi16(_mm256_min_epi16(pa, pb), pc);
    const __m256i b_or_c = _mm256_blendv_epi8(c, b, _mm256_cmpeq_epi16(pb, smallest));
    return _mm256_blendv_epi8(b_or_c, a, _mm256_cmpeq_epi16(pa, smallest));
}

RUVELLO_AVX2 inline __m256i PaethPredictor(const Neighbours& v) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i low = Paeth16(_mm256_unpacklo_epi8(v.a, zero), _mm256_unpacklo_epi8(v.b, zero),
                                _mm256_unpacklo_epi8(v.c, zero));
    const __m256i high = Paeth16(_mm256_unpackhi_epi8(v.a, zero), _mm256_unpackhi_epi8(v.b, zero),
                                 _mm256_unpackhi_epi8(v.c, zero));
    return _mm256_packus_epi16(low, high);  // undoes the unpacking's order within each lane
}

template <FilterType kType>
RUVELLO_AVX2 inline __m256i Filtered(const Neighbours& v) {
    if constexpr (kType == kNone) {
        return v.x;
    } else if constexpr (kType == kSub) {
        return _mm256_sub_epi8(v.x, v.a);
    } else if constexpr (kType == kUp) {
        return _mm256_sub_epi8(v.x, v.b);
    } else if constexpr (kType == kAverage) {
        // avg_epu8 rounds up; PNG's average rounds down.
        const __m256i odd = _mm256_and_si256(_mm256_xor_si256(v.a, v.b), _mm256_set1_epi8(1));
        return _mm256_sub_epi8(v.x, _mm256_sub_epi8(_mm256_avg_epu8(v.a, v.b), odd));
    } else {
        return _mm256_sub_epi8(v.x, PaethPredictor(v));
    }
}

// Adds the signed magnitudes of the 32 bytes to four 64-bit sums.
RUVELLO_AVX2 inline __m256i AddMagnitudes(__m256i sums, __m256i v) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i magnitude = _mm256_min_epu8(v, _mm256_sub_epi8(zero, v));
    return _mm256_add_epi64(sums, _mm256_sad_epu8(magnitude, zero));
}

RUVELLO_AVX2 inline std::uint64_t Total(__m256i sums) {
    return static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 0)) +
           static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 1)) +
           static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 2)) +
           static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 3));
}

RUVELLO_AVX2 void ToRgb(const Byte* bgrx, Byte* rgb, std::size_t width) {
    // Within each 128-bit lane, four pixels to 12 bytes; then the two lanes' 12 bytes together.
    const __m256i reorder =
        _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6, 5, 4,
                         10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    std::size_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i pixels = _mm256_shuffle_epi8(Load(bgrx + 4 * x), reorder);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb + 3 * x),
                            _mm256_permutevar8x32_epi32(pixels, join));
    }
    if (x < width) {
        PortableKernels().to_rgb(bgrx + 4 * x, rgb + 3 * x, width - x);
    }
}

RUVELLO_AVX2 void Costs(const Byte* cur, const Byte* above, std::size_t n,
                        std::uint64_t out[kFilterTypes]) {
    __m256i sums[kFilterTypes] = {};
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const Neighbours v = LoadAt(cur, above, i);
        sums[kNone] = AddMagnitudes(sums[kNone], Filtered<kNone>(v));
        sums[kSub] = AddMagnitudes(sums[kSub], Filtered<kSub>(v));
        sums[kUp] = AddMagnitudes(sums[kUp], Filtered<kUp>(v));
        sums[kAverage] = AddMagnitudes(sums[kAverage], Filtered<kAverage>(v));
        sums[kPaeth] = AddMagnitudes(sums[kPaeth], Filtered<kPaeth>(v));
    }
    std::uint64_t tail[kFilterTypes] = {};
    if (i < n) {
        PortableKernels().costs(cur + i, above + i, n - i, tail);
    }
    for (int t = 0; t < kFilterTypes; ++t) {
        out[t] = Total(sums[t]) + tail[t];
    }
}

template <FilterType kType>
RUVELLO_AVX2 void ApplyType(const Byte* cur, const Byte* above, std::size_t n, Byte* out) {
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            Filtered<kType>(LoadAt(cur, above, i)));
    }
    if (i < n) {
        PortableKernels().apply(kType, cur + i, above + i, n - i, out + i);
    }
}

RUVELLO_AVX2 void Apply(FilterType type, const Byte* cur, const Byte* above, std::size_t n,
                        Byte* out) {
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

const RowKernels* Avx2Kernels() {
    static constexpr RowKernels kernels{ToRgb, Costs, Apply};
    static const bool available = __builtin_cpu_supports("avx2");
    return available ? &kernels : nullptr;
}

}  // namespace ruvello::png

#else

namespace ruvello::png {

const RowKernels* Avx2Kernels() {
    return nullptr;
}

}  // namespace ruvello::png

#endif
