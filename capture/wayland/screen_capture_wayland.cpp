#include "capture/wayland/screen_capture_wayland.h"

#include <new>

namespace ruvello {
namespace {

// Generous: a busy compositor copies a frame within one or two refreshes.
constexpr int kCopyTimeoutMs = 5000;

}  // namespace

WaylandScreenCapture::WaylandScreenCapture(WaylandConnection& connection,
                                           WaylandOutputLayout& layout)
    : connection_(connection), layout_(layout) {}

void WaylandScreenCapture::GdiPlusStart() {
    if (!copier_) {
        copier_ = MakeOutputCopier(connection_);
    }
}

void WaylandScreenCapture::GdiPlusStop() {
    pictures_.clear();
    copier_.reset();
}

// A shot that fails before its pictures are drawn makes the composer forget its image: the
// compositor counts the changes it reported as known, and would not report them again.
bool WaylandScreenCapture::CaptureScreenToPng(const std::string& path) {
    if (!copier_ || !connection_.Connected()) {
        return false;
    }
    connection_.DispatchPending();  // outputs that came, went or moved
    try {
        const std::optional<ComposedImage> image = CopyAndCompose();
        if (!image) {
            composer_.Forget();
            return false;
        }
        const bool written = writer_.Write(*image, path, image->unchanged);
        copier_->GiveBackStillBuffers(layout_, Holds());
        return written;
    } catch (const std::bad_alloc&) {
        composer_.Forget();
        return false;
    }
}

OutputCopier::Holds WaylandScreenCapture::Holds() const {
    return [this](std::uint32_t id, const LayoutRect& place, std::int32_t width,
                  std::int32_t height) { return composer_.Holds(id, place, width, height); };
}

// Outputs that did not change come without pixels where the image holds them already; when the
// layout changed meanwhile, so that the image is drawn anew, they are copied whole after all.
std::optional<ComposedImage> WaylandScreenCapture::CopyAndCompose() {
    const WaitDeadline deadline(kCopyTimeoutMs);
    if (!copier_->CopyAll(layout_, pictures_, deadline.LeftMs(), Holds())) {
        return std::nullopt;
    }
    auto image = composer_.Compose(pictures_);
    if (!image && composer_.NeedsPixels() &&
        copier_->CopyAll(layout_, pictures_, deadline.LeftMs())) {
        image = composer_.Compose(pictures_);
    }
    return image;
}

}  // namespace ruvello
