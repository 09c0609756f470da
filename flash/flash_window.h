#pragma once

#include <cstdint>

#include "platform/window_system.h"

namespace ruvello {

// The overlay frmFlash: a borderless white window without a task-bar entry that ignores input.
// At most one exists; Load creates it hidden, Unload destroys it.
class FlashWindow {
  public:
    virtual ~FlashWindow() = default;

    virtual bool IsLoaded() = 0;
    virtual void Load() = 0;
    virtual void SetTopmost() = 0;
    virtual void SetAlpha(std::uint8_t alpha) = 0;
    virtual void MoveTo(const ScreenRect& rect) = 0;
    virtual void Show() = 0;
    // Destroys the window; does nothing when none is loaded.
    virtual void Unload() = 0;
};

}  // namespace ruvello
