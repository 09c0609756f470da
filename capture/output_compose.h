#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/screen_geometry.h"
#include "png/png_encoder.h"

namespace ruvello {

// Byte order of a 4-byte pixel in memory. The fourth byte may be alpha; it is ignored.
enum class PixelOrder { kBgrx, kRgbx };

// One output's picture as a route copied it, and where it belongs in the layout.
struct OutputPicture {
    LayoutRect place;  // the output's logical position and size; empty: left out
    const std::uint8_t* data = nullptr;
    std::int32_t width = 0;  // the buffer, in pixels
    std::int32_t height = 0;
    std::size_t stride = 0;  // bytes from one stored row to the next, >= 4 * width
    PixelOrder order = PixelOrder::kBgrx;
    bool yInverted = false;  // rows stored bottom row first
    OutputTransform transform = OutputTransform::kNormal;
};

// Puts the pictures of all outputs into one image of the bounding rectangle of their places.
//
// Scale: an output's scale is its buffer's pixels per logical unit (2 on a HiDPI output at
// scale 2). The image takes the largest of them, as common screenshot tools do, so that no
// output loses detail: every logical unit is that many pixels, and pictures of a smaller scale
// are enlarged by repeating pixels (nearest neighbour, sharp text, no invented colours). On
// desktops where all outputs have the same scale the image holds every buffer pixel as it is.
//
// Places not covered by any output are black. Where outputs overlap (mirrored), the later
// picture wins.
class OutputComposer {
  public:
    // The image, 4 bytes a pixel (B, G, R, X), valid until the next call or the composer's end;
    // it may point into the only picture's own buffer when that is already the whole image.
    // Nothing when no picture has a place and pixels. Throws std::bad_alloc only.
    std::optional<PixelRows> Compose(std::span<const OutputPicture> pictures);

  private:
    std::vector<std::uint8_t> canvas_;
};

// The bounding rectangle of the places of the pictures that have pixels; empty when none has.
LayoutRect BoundingRect(std::span<const OutputPicture> pictures);

// The image's pixels per logical unit: the largest scale of the pictures (1 when none has one).
double CanvasScale(std::span<const OutputPicture> pictures);

}  // namespace ruvello
