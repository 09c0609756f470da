#include "flash/bas_flash.h"

#include "platform/failure.h"

namespace ruvello {

void basFlash::SetTopmost() {
    frmFlash_.SetTopmost();
}

void basFlash::SetWindowAlpha(std::uint8_t alpha) {
    frmFlash_.SetAlpha(alpha);
}

void basFlash::frmFlash_Form_Load() {
    SetTopmost();
    SetWindowAlpha(kFlashOpacity);
}

void basFlash::PlayFlash(std::int32_t durationMs) noexcept {
    ScreenRect screen;
    CarryOn([&] { screen = windows_.VirtualScreen(); });
    CarryOn([&] {
        if (!frmFlash_.IsLoaded()) {
            frmFlash_.Load();
            frmFlash_Form_Load();
        }
    });
    if (screen.width > 0 && screen.height > 0) {
        CarryOn([&] { frmFlash_.MoveTo(screen); });
    }
    CarryOn([&] { frmFlash_.Show(); });
    CarryOn([&] { windows_.DoEvents(); });
    CarryOn([&] { SetTopmost(); });
    CarryOn([&] { SetWindowAlpha(kFlashOpacity); });
    WaitProcessingEvents(durationMs);
    CarryOn([&] { frmFlash_.Unload(); });
}

// Spins without sleeping, so the flash lasts its duration and not a scheduler slice longer. Only
// forward steps of the clock count, so a clock set back cannot prolong the wait.
void basFlash::WaitProcessingEvents(std::int32_t durationMs) noexcept {
    const float limit = static_cast<float>(durationMs) / 1000.0f;
    double last = 0;
    if (!FalseOnFailure([&] { return last = clock_.Seconds(), true; })) {
        return;
    }
    float elapsed = 0;
    while (elapsed < limit) {
        CarryOn([&] { windows_.DoEvents(); });
        double now = 0;
        if (!FalseOnFailure([&] { return now = clock_.Seconds(), true; })) {
            return;
        }
        if (now > last) {
            elapsed += static_cast<float>(now - last);
        }
        last = now;
    }
}

}  // namespace ruvello
