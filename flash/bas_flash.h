#pragma once

#include <cstdint>

#include "flash/flash_window.h"
#include "platform/clock.h"
#include "platform/window_system.h"

namespace ruvello {

inline constexpr std::uint8_t kFlashOpacity = 160;
inline constexpr std::int32_t kFlashDurationMs = 80;

// The translucent white flash over the whole virtual screen.
class basFlash {
  public:
    basFlash(FlashWindow& frmFlash, WindowSystem& windows, Clock& clock)
        : frmFlash_(frmFlash), windows_(windows), clock_(clock) {}

    // Shows the overlay for `durationMs` while pending events keep being processed, and returns
    // once it is destroyed. Never fails; a step that fails is skipped.
    void PlayFlash(std::int32_t durationMs) noexcept;

  private:
    void SetTopmost();
    void SetWindowAlpha(std::uint8_t alpha);
    void frmFlash_Form_Load();
    void WaitProcessingEvents(std::int32_t durationMs) noexcept;

    FlashWindow& frmFlash_;
    WindowSystem& windows_;
    Clock& clock_;
};

}  // namespace ruvello
