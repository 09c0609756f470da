#pragma once

#include <windows.h>

#include "flash/flash_window.h"

namespace ruvello {

// frmFlash: a white popup window that takes no input, has no task-bar entry and never becomes
// active.
class FlashWindowWin32 : public FlashWindow {
  public:
    static constexpr const wchar_t* kClassName = L"RuvelloFlash";
    static constexpr const wchar_t* kCaption = L"Blitz";

    explicit FlashWindowWin32(HINSTANCE instance);
    FlashWindowWin32(const FlashWindowWin32&) = delete;
    FlashWindowWin32& operator=(const FlashWindowWin32&) = delete;
    ~FlashWindowWin32() override;

    bool IsLoaded() override;
    void Load() override;
    void SetTopmost() override;
    void SetAlpha(std::uint8_t alpha) override;
    void MoveTo(const ScreenRect& rect) override;
    void Show() override;
    void Unload() override;

    HWND Handle() const { return window_; }

  private:
    HINSTANCE instance_;
    ATOM class_ = 0;
    HWND window_ = nullptr;
};

}  // namespace ruvello
