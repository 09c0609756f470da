#include "capture/output_compose.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace ruvello {
namespace {

// Larger images are refused rather than allocated: far beyond any desktop, and the product of
// the sides stays well inside size_t and the encoder's 32-bit sides.
constexpr std::int64_t kMaxSide = 1 << 17;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 29;

bool HasPixels(const OutputPicture& picture) {
    return picture.data && picture.width > 0 && picture.height > 0 && picture.place.width > 0 &&
           picture.place.height > 0 &&
           picture.stride >= 4 * static_cast<std::size_t>(picture.width);
}

bool SidesSwapped(OutputTransform transform) {
    return (static_cast<std::uint32_t>(transform) & 1) != 0;
}

// The picture's size as the desktop shows it.
std::int32_t UprightWidth(const OutputPicture& p) {
    return SidesSwapped(p.transform) ? p.height : p.width;
}
std::int32_t UprightHeight(const OutputPicture& p) {
    return SidesSwapped(p.transform) ? p.width : p.height;
}

double PictureScale(const OutputPicture& p) {
    return std::max(static_cast<double>(UprightWidth(p)) / p.place.width,
                    static_cast<double>(UprightHeight(p)) / p.place.height);
}

bool Overlap(const LayoutRect& a, const LayoutRect& b) {
    return std::int64_t{a.x} < std::int64_t{b.x} + b.width &&
           std::int64_t{b.x} < std::int64_t{a.x} + a.width &&
           std::int64_t{a.y} < std::int64_t{b.y} + b.height &&
           std::int64_t{b.y} < std::int64_t{a.y} + a.height;
}

// Whether the places fill the bounding rectangle without a gap: side by side, none overlapping,
// their areas adding up to the rectangle's.
bool FillWithoutGap(std::span<const OutputPicture> pictures, const LayoutRect& bounds) {
    std::int64_t area = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (!HasPixels(pictures[i])) {
            continue;
        }
        for (std::size_t j = i + 1; j < pictures.size(); ++j) {
            if (HasPixels(pictures[j]) && Overlap(pictures[i].place, pictures[j].place)) {
                return false;
            }
        }
        area += std::int64_t{pictures[i].place.width} * pictures[i].place.height;
    }
    return area == std::int64_t{bounds.width} * bounds.height;
}

// Where a picture lands on the canvas, in canvas pixels.
struct CanvasRect {
    std::int64_t left, top, right, bottom;
};

std::int64_t ToCanvas(std::int64_t logical, double scale) {
    return std::llround(static_cast<double>(logical) * scale);
}

// The stored pixel that shows at (u, v) of the upright picture.
struct StoredPixel {
    std::int32_t x, y;
};

StoredPixel Stored(const OutputPicture& p, std::int32_t u, std::int32_t v) {
    const std::int32_t w = p.width - 1, h = p.height - 1;
    switch (p.transform) {
        case OutputTransform::kNormal:
            return {u, v};
        case OutputTransform::kRotated90:
            return {v, h - u};
        case OutputTransform::kRotated180:
            return {w - u, h - v};
        case OutputTransform::kRotated270:
            return {w - v, u};
        case OutputTransform::kFlipped:
            return {w - u, v};
        case OutputTransform::kFlipped90:
            return {v, u};
        case OutputTransform::kFlipped180:
            return {u, h - v};
        case OutputTransform::kFlipped270:
            return {w - v, h - u};
    }
    return {u, v};
}

const std::uint8_t* StoredRow(const OutputPicture& p, std::int32_t y) {
    const std::int32_t row = p.yInverted ? p.height - 1 - y : y;
    return p.data + static_cast<std::size_t>(row) * p.stride;
}

void CopyPixel(const std::uint8_t* from, std::uint8_t* to, PixelOrder order) {
    if (order == PixelOrder::kBgrx) {
        std::memcpy(to, from, 4);
    } else {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
        to[3] = from[3];
    }
}

void CopyRow(const std::uint8_t* from, std::uint8_t* to, std::int32_t width, PixelOrder order) {
    if (order == PixelOrder::kBgrx) {
        std::memcpy(to, from, 4 * static_cast<std::size_t>(width));
        return;
    }
    for (std::int32_t x = 0; x < width; ++x) {
        CopyPixel(from + 4 * x, to + 4 * x, order);
    }
}

// Draws one picture into its rectangle of the canvas, clipped to the canvas.
void Draw(const OutputPicture& p, const CanvasRect& at, std::uint8_t* canvas,
          std::int64_t canvasWidth, std::int64_t canvasHeight, std::size_t stride) {
    const std::int64_t width = at.right - at.left, height = at.bottom - at.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    const std::int64_t fromX = std::max<std::int64_t>(at.left, 0);
    const std::int64_t toX = std::min(at.right, canvasWidth);
    const std::int64_t fromY = std::max<std::int64_t>(at.top, 0);
    const std::int64_t toY = std::min(at.bottom, canvasHeight);
    if (fromX >= toX || fromY >= toY) {
        return;
    }
    const std::int32_t uprightWidth = UprightWidth(p), uprightHeight = UprightHeight(p);
    const bool oneToOne =
        p.transform == OutputTransform::kNormal && width == p.width && height == p.height;
    for (std::int64_t y = fromY; y < toY; ++y) {
        std::uint8_t* out = canvas + static_cast<std::size_t>(y) * stride;
        const auto v = static_cast<std::int32_t>((y - at.top) * uprightHeight / height);
        if (oneToOne) {
            CopyRow(StoredRow(p, v) + 4 * (fromX - at.left), out + 4 * fromX,
                    static_cast<std::int32_t>(toX - fromX), p.order);
            continue;
        }
        for (std::int64_t x = fromX; x < toX; ++x) {
            const auto u = static_cast<std::int32_t>((x - at.left) * uprightWidth / width);
            const StoredPixel s = Stored(p, u, v);
            CopyPixel(StoredRow(p, s.y) + 4 * static_cast<std::size_t>(s.x), out + 4 * x, p.order);
        }
    }
}

}  // namespace

LayoutRect BoundingRect(std::span<const OutputPicture> pictures) {
    std::vector<LayoutRect> places;
    for (const OutputPicture& p : pictures) {
        if (HasPixels(p)) {
            places.push_back(p.place);
        }
    }
    return BoundingRect(places);
}

double CanvasScale(std::span<const OutputPicture> pictures) {
    double scale = 0;
    for (const OutputPicture& p : pictures) {
        if (HasPixels(p)) {
            scale = std::max(scale, PictureScale(p));
        }
    }
    return scale > 0 ? scale : 1.0;
}

std::optional<PixelRows> OutputComposer::Compose(std::span<const OutputPicture> pictures) {
    const LayoutRect bounds = BoundingRect(pictures);
    if (bounds.width <= 0 || bounds.height <= 0) {
        return std::nullopt;
    }
    const double scale = CanvasScale(pictures);
    const std::int64_t width = ToCanvas(bounds.width, scale);
    const std::int64_t height = ToCanvas(bounds.height, scale);
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
        width * height > kMaxPixels) {
        return std::nullopt;
    }

    const OutputPicture* only = nullptr;
    int count = 0;
    for (const OutputPicture& p : pictures) {
        if (HasPixels(p)) {
            only = &p;
            ++count;
        }
    }
    if (count != 1) {
        only = nullptr;
    }
    if (only && !only->yInverted && only->order == PixelOrder::kBgrx &&
        only->transform == OutputTransform::kNormal && only->width == width &&
        only->height == height) {
        return PixelRows{only->data, only->width, only->height, only->stride};
    }

    const std::size_t stride = 4 * static_cast<std::size_t>(width);
    canvas_.resize(stride * static_cast<std::size_t>(height));
    // Gaps stay black; outputs that fill the rectangle side by side leave none to clear.
    if (!FillWithoutGap(pictures, bounds)) {
        std::fill(canvas_.begin(), canvas_.end(), std::uint8_t{0});
    }
    for (const OutputPicture& p : pictures) {
        if (!HasPixels(p)) {
            continue;
        }
        const CanvasRect at{ToCanvas(std::int64_t{p.place.x} - bounds.x, scale),
                            ToCanvas(std::int64_t{p.place.y} - bounds.y, scale),
                            ToCanvas(std::int64_t{p.place.x} + p.place.width - bounds.x, scale),
                            ToCanvas(std::int64_t{p.place.y} + p.place.height - bounds.y, scale)};
        Draw(p, at, canvas_.data(), width, height, stride);
    }
    return PixelRows{canvas_.data(), static_cast<std::int32_t>(width),
                     static_cast<std::int32_t>(height), stride};
}

}  // namespace ruvello
