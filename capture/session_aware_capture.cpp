#include "capture/session_aware_capture.h"

#include "platform/failure.h"

namespace ruvello {

bool SessionAwareCapture::CaptureScreenToPng(const std::string& path) {
    // A desktop that cannot say counts as unlocked: the screenshots go on as before.
    const bool locked = FalseOnFailure([&] { return session_.Locked(); });
    return !locked && screen_.CaptureScreenToPng(path);
}

}  // namespace ruvello
