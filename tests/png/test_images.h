#pragma once

#include <cstddef>
#include <cstdint>

#include "png_check.h"

namespace ruvello::pngtest {

enum class Content { kRandom, kFlat, kGradient, kDesktop, kBands };

// Pixels of the given kind; the unused fourth byte and the row padding are random, since the
// encoder must ignore them.
TestImage MakeImage(std::int32_t width, std::int32_t height, Content content,
                    std::size_t padding = 0, std::uint32_t seed = 1);

}  // namespace ruvello::pngtest
