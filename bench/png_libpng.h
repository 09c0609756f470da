#pragma once

#include <cstdint>
#include <vector>

#include "capture/x11/pixel_layout.h"

namespace ruvello {

// Encodes B, G, R, X rows as an 8-bit RGB PNG with libpng's default settings.
bool EncodeWithLibpng(const BgrxRows& image, std::vector<std::uint8_t>& out);

}  // namespace ruvello
