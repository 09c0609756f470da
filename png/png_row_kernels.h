#pragma once

#include <cstddef>
#include <cstdint>

namespace ruvello::png {

// The PNG filter types, as the byte in front of each filtered row names them.
enum FilterType : std::uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };
constexpr int kFilterTypes = 5;

// The loops that run over every byte of the screen. `cur` and `above` are RGB rows of `n` bytes
// with three zero bytes in front (the left neighbours a PNG decoder assumes for the first pixel)
// and kRowSlack bytes of room after them.
struct RowKernels {
    // B, G, R, X pixels to R, G, B; may write kRowSlack bytes beyond 3 * width.
    void (*to_rgb)(const std::uint8_t* bgrx, std::uint8_t* rgb, std::size_t width);
    // The cost of each filter type for the row, in type order: the sum of its filtered bytes
    // taken as signed magnitudes, the minimum-sum measure of PNG encoders.
    void (*costs)(const std::uint8_t* cur, const std::uint8_t* above, std::size_t n,
                  std::uint64_t out[kFilterTypes]);
    // Writes the row filtered with `type`.
    void (*apply)(FilterType type, const std::uint8_t* cur, const std::uint8_t* above,
                  std::size_t n, std::uint8_t* out);
};

constexpr std::size_t kRowSlack = 32;

// Plain C++, right on every machine.
const RowKernels& PortableKernels();
// AVX2 forms, or null where the processor or the compiler has no AVX2.
const RowKernels* Avx2Kernels();

}  // namespace ruvello::png
