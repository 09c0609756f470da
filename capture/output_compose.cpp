#include "capture/output_compose.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace ruvello {
namespace {

// Larger images are refused rather than allocated: far beyond any desktop, and the product of
// the sides stays well inside size_t and the encoder's 32-bit sides.
constexpr std::int64_t kMaxSide = 1 << 17;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 29;

// Rows of a band whose hash tells whether they changed: the encoder's band height, so that a
// row that changed costs about what the encoder compresses again for it.
constexpr std::int32_t kBandRows = 64;

bool NothingChanged(const OutputPicture& picture) {
    return picture.changed && picture.changed->empty();
}

// A picture takes part when it has a place and a buffer, and pixels unless nothing changed in
// it (the composer then has them from before, or says it needs them).
bool TakesPart(const OutputPicture& picture) {
    return (picture.data || NothingChanged(picture)) && picture.width > 0 && picture.height > 0 &&
           picture.place.width > 0 && picture.place.height > 0 &&
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
        if (!TakesPart(pictures[i])) {
            continue;
        }
        for (std::size_t j = i + 1; j < pictures.size(); ++j) {
            if (TakesPart(pictures[j]) && Overlap(pictures[i].place, pictures[j].place)) {
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

// The image being drawn.
struct CanvasView {
    std::uint8_t* pixels;
    std::int64_t width, height;
    std::size_t stride;
};

// Draws one picture into its rectangle `at` of the canvas, within `clip` (canvas pixels).
void DrawPicture(const OutputPicture& p, const CanvasRect& at, const CanvasView& canvas,
                 const CanvasRect& clip) {
    const std::int64_t width = at.right - at.left, height = at.bottom - at.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    const std::int64_t fromX = std::max({at.left, clip.left, std::int64_t{0}});
    const std::int64_t toX = std::min({at.right, clip.right, canvas.width});
    const std::int64_t fromY = std::max({at.top, clip.top, std::int64_t{0}});
    const std::int64_t toY = std::min({at.bottom, clip.bottom, canvas.height});
    if (fromX >= toX || fromY >= toY) {
        return;
    }
    const std::int32_t uprightWidth = UprightWidth(p), uprightHeight = UprightHeight(p);
    const bool oneToOne =
        p.transform == OutputTransform::kNormal && width == p.width && height == p.height;
    for (std::int64_t y = fromY; y < toY; ++y) {
        std::uint8_t* out = canvas.pixels + static_cast<std::size_t>(y) * canvas.stride;
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

constexpr CanvasRect kEverywhere{
    std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::min(),
    std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max()};

CanvasRect PlaceOnCanvas(const OutputPicture& p, const LayoutRect& bounds, double scale) {
    return {ToCanvas(std::int64_t{p.place.x} - bounds.x, scale),
            ToCanvas(std::int64_t{p.place.y} - bounds.y, scale),
            ToCanvas(std::int64_t{p.place.x} + p.place.width - bounds.x, scale),
            ToCanvas(std::int64_t{p.place.y} + p.place.height - bounds.y, scale)};
}

// Whether a part of the stored buffer lands on the same part of the canvas, pixel for pixel:
// then a changed part is drawn again alone.
bool StoredAsShown(const OutputPicture& p, const CanvasRect& at) {
    return p.transform == OutputTransform::kNormal && !p.yInverted &&
           at.right - at.left == p.width && at.bottom - at.top == p.height;
}

// Draws again the rectangles the compositor named; whether there were any.
bool DrawChangedRects(const OutputPicture& p, const CanvasRect& at, const CanvasView& view) {
    if (!p.changed || p.changed->empty()) {
        return false;
    }
    if (!StoredAsShown(p, at)) {
        DrawPicture(p, at, view, kEverywhere);
        return true;
    }
    for (const PixelRect& r : *p.changed) {
        DrawPicture(p, at, view,
                    {at.left + r.x, at.top + r.y, at.left + std::int64_t{r.x} + r.width,
                     at.top + std::int64_t{r.y} + r.height});
    }
    return true;
}

// Draws again the bands of stored rows whose hashes changed; whether any did.
template <class Bands>
bool DrawChangedBands(const OutputPicture& p, const CanvasRect& at, const CanvasView& view,
                      const Bands& before, const Bands& now) {
    if (before == now) {
        return false;
    }
    if (before.size() != now.size() || !StoredAsShown(p, at)) {
        DrawPicture(p, at, view, kEverywhere);
        return true;
    }
    for (std::size_t band = 0; band < now.size(); ++band) {
        if (before[band] != now[band]) {
            const std::int64_t top = at.top + static_cast<std::int64_t>(band) * kBandRows;
            DrawPicture(p, at, view, {at.left, top, at.right, top + kBandRows});
        }
    }
    return true;
}

bool AnyOverlap(std::span<const OutputPicture> pictures) {
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        for (std::size_t j = i + 1; j < pictures.size(); ++j) {
            if (TakesPart(pictures[i]) && TakesPart(pictures[j]) &&
                Overlap(pictures[i].place, pictures[j].place)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

LayoutRect BoundingRect(std::span<const OutputPicture> pictures) {
    std::vector<LayoutRect> places;
    for (const OutputPicture& p : pictures) {
        if (TakesPart(p)) {
            places.push_back(p.place);
        }
    }
    return BoundingRect(places);
}

double CanvasScale(std::span<const OutputPicture> pictures) {
    double scale = 0;
    for (const OutputPicture& p : pictures) {
        if (TakesPart(p)) {
            scale = std::max(scale, PictureScale(p));
        }
    }
    return scale > 0 ? scale : 1.0;
}

std::optional<ComposedImage> OutputComposer::Compose(std::span<const OutputPicture> pictures) {
    needsPixels_ = false;
    Canvas canvas;
    canvas.bounds = BoundingRect(pictures);
    if (canvas.bounds.width <= 0 || canvas.bounds.height <= 0) {
        return std::nullopt;
    }
    canvas.scale = CanvasScale(pictures);
    canvas.width = ToCanvas(canvas.bounds.width, canvas.scale);
    canvas.height = ToCanvas(canvas.bounds.height, canvas.scale);
    if (canvas.width < 1 || canvas.height < 1 || canvas.width > kMaxSide ||
        canvas.height > kMaxSide || canvas.width * canvas.height > kMaxPixels) {
        return std::nullopt;
    }
    const auto taking = std::count_if(pictures.begin(), pictures.end(), TakesPart);
    const auto only = std::find_if(pictures.begin(), pictures.end(), TakesPart);
    if (taking == 1 && only->data && !only->yInverted && only->order == PixelOrder::kBgrx &&
        only->transform == OutputTransform::kNormal && only->width == canvas.width &&
        only->height == canvas.height) {
        return HandOn(*only);
    }
    return Draw(pictures, canvas);
}

bool OutputComposer::Holds(std::uint32_t id, const LayoutRect& place, std::int32_t width,
                           std::int32_t height) const {
    return !handedOn_ && id != 0 && std::any_of(drawn_.begin(), drawn_.end(), [&](const Drawn& d) {
        return d.id == id && d.place.x == place.x && d.place.y == place.y &&
               d.place.width == place.width && d.place.height == place.height && d.width == width &&
               d.height == height;
    });
}

void OutputComposer::Forget() {
    drawn_.clear();
    handedOn_ = false;
}

bool OutputComposer::Matches(const Drawn& drawn, const OutputPicture& p) {
    return p.id != 0 && drawn.id == p.id && drawn.place.x == p.place.x &&
           drawn.place.y == p.place.y && drawn.place.width == p.place.width &&
           drawn.place.height == p.place.height && drawn.width == p.width &&
           drawn.height == p.height && drawn.order == p.order && drawn.yInverted == p.yInverted &&
           drawn.transform == p.transform;
}

std::vector<OutputComposer::BandHash> OutputComposer::HashBands(const OutputPicture& p) {
    std::vector<BandHash> bands;
    bands.reserve(static_cast<std::size_t>((p.height + kBandRows - 1) / kBandRows));
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(p.width);
    for (std::int32_t top = 0; top < p.height; top += kBandRows) {
        XXH3_state_t state;
        XXH3_128bits_reset(&state);
        for (std::int32_t y = top; y < std::min(top + kBandRows, p.height); ++y) {
            XXH3_128bits_update(&state, p.data + static_cast<std::size_t>(y) * p.stride, rowBytes);
        }
        const XXH128_hash_t hash = XXH3_128bits_digest(&state);
        bands.push_back({hash.low64, hash.high64});
    }
    return bands;
}

// The only picture is the image. Its rows' hashes, or the compositor's word, tell whether it
// is the image of the last call.
std::optional<ComposedImage> OutputComposer::HandOn(const OutputPicture& only) {
    const bool same = handedOn_ && drawn_.size() == 1 && Matches(drawn_.front(), only);
    std::vector<Drawn> next(1);
    Drawn& drawn = next.front();
    drawn = {only.id,    only.place,     only.width,     only.height,
             only.order, only.yInverted, only.transform, {}};
    bool unchanged = false;
    if (!only.changed) {
        drawn.bands = HashBands(only);
        unchanged = same && !drawn_.front().bands.empty() && drawn.bands == drawn_.front().bands;
    } else if (only.changed->empty() && same) {
        drawn.bands = drawn_.front().bands;
        unchanged = true;
    }
    drawn_.swap(next);
    handedOn_ = true;
    std::vector<std::uint8_t>().swap(canvas_);  // the image is the picture's: memory back
    return ComposedImage{{only.data, only.width, only.height, only.stride}, unchanged};
}

// Whether the image holds these very pictures' outputs at these places, in a canvas of this
// geometry, so that only what changed in them needs drawing.
bool OutputComposer::SameLayout(std::span<const OutputPicture> pictures,
                                const Canvas& canvas) const {
    if (handedOn_ || drawn_.empty() || geometry_.width != canvas.width ||
        geometry_.height != canvas.height || geometry_.scale != canvas.scale ||
        geometry_.bounds.x != canvas.bounds.x || geometry_.bounds.y != canvas.bounds.y ||
        AnyOverlap(pictures)) {
        return false;
    }
    std::size_t next = 0;
    for (const OutputPicture& p : pictures) {
        if (TakesPart(p) && (next >= drawn_.size() || !Matches(drawn_[next++], p))) {
            return false;
        }
    }
    return next == drawn_.size();
}

std::optional<ComposedImage> OutputComposer::Draw(std::span<const OutputPicture> pictures,
                                                  const Canvas& canvas) {
    const bool whole = !SameLayout(pictures, canvas);
    // Every picture's pixels, unless the image already holds it.
    if (whole && std::any_of(pictures.begin(), pictures.end(),
                             [](const OutputPicture& p) { return TakesPart(p) && !p.data; })) {
        needsPixels_ = true;
        return std::nullopt;
    }
    // All memory first: a Compose that runs out of it leaves the composer as it was.
    std::vector<Drawn> next;
    for (const OutputPicture& p : pictures) {
        if (!TakesPart(p)) {
            continue;
        }
        Drawn drawn{p.id, p.place, p.width, p.height, p.order, p.yInverted, p.transform, {}};
        if (!p.changed) {
            drawn.bands = HashBands(p);
        } else if (p.changed->empty() && !whole) {
            drawn.bands = drawn_[next.size()].bands;
        }
        next.push_back(std::move(drawn));
    }
    const std::size_t stride = 4 * static_cast<std::size_t>(canvas.width);
    canvas_.resize(stride * static_cast<std::size_t>(canvas.height));

    const CanvasView view{canvas_.data(), canvas.width, canvas.height, stride};
    // Gaps stay black; outputs that fill the rectangle side by side leave none to clear.
    if (whole && !FillWithoutGap(pictures, canvas.bounds)) {
        std::fill(canvas_.begin(), canvas_.end(), std::uint8_t{0});
    }
    bool changed = whole;
    std::size_t index = 0;
    for (const OutputPicture& p : pictures) {
        if (!TakesPart(p)) {
            continue;
        }
        const Drawn& before = whole ? next[index] : drawn_[index];
        const Drawn& now = next[index++];
        const CanvasRect at = PlaceOnCanvas(p, canvas.bounds, canvas.scale);
        if (whole) {
            DrawPicture(p, at, view, kEverywhere);
        } else if (p.changed) {
            changed = DrawChangedRects(p, at, view) || changed;
        } else {
            changed = DrawChangedBands(p, at, view, before.bands, now.bands) || changed;
        }
    }
    drawn_.swap(next);
    geometry_ = canvas;
    handedOn_ = false;
    return ComposedImage{{canvas_.data(), static_cast<std::int32_t>(canvas.width),
                          static_cast<std::int32_t>(canvas.height), stride},
                         !changed};
}

}  // namespace ruvello
