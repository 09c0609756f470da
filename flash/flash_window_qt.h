#pragma once

#include <QWidget>

#include <memory>

#include "flash/flash_window.h"

namespace ruvello {

// frmFlash as a frameless white top-level that the window manager leaves alone, that takes no
// focus and lets input pass through.
class QtFlashWindow : public FlashWindow {
  public:
    bool IsLoaded() override { return window_ != nullptr; }
    void Load() override;
    void SetTopmost() override;
    void SetAlpha(std::uint8_t alpha) override;
    void MoveTo(const ScreenRect& rect) override;
    void Show() override;
    void Unload() override;

  private:
    std::unique_ptr<QWidget> window_;
};

}  // namespace ruvello
