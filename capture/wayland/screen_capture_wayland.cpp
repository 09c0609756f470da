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

bool WaylandScreenCapture::CaptureScreenToPng(const std::string& path) {
    if (!copier_ || !connection_.Connected()) {
        return false;
    }
    connection_.DispatchPending();  // outputs that came, went or moved
    try {
        if (!copier_->CopyAll(layout_, pictures_, kCopyTimeoutMs)) {
            return false;
        }
        const auto image = composer_.Compose(pictures_);
        return image && writer_.Write(*image, path);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace ruvello
