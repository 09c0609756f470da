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

// A rectangle of a picture's stored buffer, in its pixels.
struct PixelRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// One output's picture as a route copied it, and where it belongs in the layout.
struct OutputPicture {
    // The output's (or stream's) own number, the same while it exists: the composer keeps what
    // it drew of it under this number. 0: none, drawn anew every time.
    std::uint32_t id = 0;
    LayoutRect place;  // the output's logical position and size; empty: left out
    // The stored buffer; may be null when `changed` says that nothing changed.
    const std::uint8_t* data = nullptr;
    std::int32_t width = 0;  // the buffer, in pixels
    std::int32_t height = 0;
    std::size_t stride = 0;  // bytes from one stored row to the next, >= 4 * width
    PixelOrder order = PixelOrder::kBgrx;
    bool yInverted = false;  // rows stored bottom row first
    OutputTransform transform = OutputTransform::kNormal;
    // What changed in the stored buffer since the composer's last picture of this output, as
    // the compositor reports it: not known (the composer compares the rows itself), nothing
    // (an empty list), or these rectangles.
    std::optional<std::vector<PixelRect>> changed;
};

// The composed image, and whether it is the very image of the composer's last Compose.
struct ComposedImage : PixelRows {
    bool unchanged = false;
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
//
// Between shots the composer keeps its image and, for each output, a hash of each band of its
// stored rows: a later Compose of the same layout draws again only what changed, and says when
// nothing did, so that the encoder need not run. A single output already in the image's form is
// handed on as it is, without an image of the composer's own.
class OutputComposer {
  public:
    // The image, 4 bytes a pixel (B, G, R, X), valid until the next call or the composer's end;
    // it may point into the only picture's own buffer when that is already the whole image.
    // Nothing when no picture has a place and pixels, or when a picture without pixels is not
    // one the composer holds in that place (NeedsPixels() then). Throws std::bad_alloc only,
    // and then holds nothing.
    std::optional<ComposedImage> Compose(std::span<const OutputPicture> pictures);

    // Whether the last Compose failed only for a picture without pixels that it did not hold.
    bool NeedsPixels() const { return needsPixels_; }
    // Whether the image holds the last picture of output `id` at `place` from a buffer of this
    // size, so that a picture of it that says nothing changed may come without pixels.
    bool Holds(std::uint32_t id, const LayoutRect& place, std::int32_t width,
               std::int32_t height) const;
    // Holds nothing from now on: the next Compose draws everything from the pictures' pixels.
    // For a shot that failed after the compositor had reported changes that were never drawn.
    void Forget();

  private:
    // The image's size and where it lies in the layout.
    struct Canvas {
        LayoutRect bounds;
        double scale = 1;
        std::int64_t width = 0;
        std::int64_t height = 0;
    };
    // A 128-bit hash of one band of a picture's stored rows.
    struct BandHash {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        bool operator==(const BandHash&) const = default;
    };
    // One output's picture as the image holds it.
    struct Drawn {
        std::uint32_t id = 0;
        LayoutRect place;
        std::int32_t width = 0;
        std::int32_t height = 0;
        PixelOrder order = PixelOrder::kBgrx;
        bool yInverted = false;
        OutputTransform transform = OutputTransform::kNormal;
        std::vector<BandHash> bands;  // empty: not hashed
    };

    std::optional<ComposedImage> HandOn(const OutputPicture& only);
    std::optional<ComposedImage> Draw(std::span<const OutputPicture> pictures,
                                      const Canvas& canvas);
    bool SameLayout(std::span<const OutputPicture> pictures, const Canvas& canvas) const;
    static bool Matches(const Drawn& drawn, const OutputPicture& picture);
    static std::vector<BandHash> HashBands(const OutputPicture& picture);

    std::vector<std::uint8_t> canvas_;
    Canvas geometry_;           // of canvas_ as last drawn
    std::vector<Drawn> drawn_;  // what the image holds, by picture; empty: nothing
    bool handedOn_ = false;     // the last image was the only picture's own buffer
    bool needsPixels_ = false;
};

// The bounding rectangle of the places of the pictures that have pixels; empty when none has.
LayoutRect BoundingRect(std::span<const OutputPicture> pictures);

// The image's pixels per logical unit: the largest scale of the pictures (1 when none has one).
double CanvasScale(std::span<const OutputPicture> pictures);

}  // namespace ruvello
