#include "flash/flash_window_win32.h"

#include <dwmapi.h>

#include "platform/last_error_win32.h"

namespace ruvello {
namespace {

constexpr DWORD kFlashStyle = WS_POPUP;
constexpr DWORD kFlashExStyle =
    WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE;
constexpr UINT kTopmostFlags = SWP_NOMOVE | SWP_NOSIZE;  // 3

LRESULT CALLBACK FlashProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_NCHITTEST:
            return HTTRANSPARENT;  // clicks reach the windows below
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        default:
            return DefWindowProcW(window, message, w, l);
    }
}

}  // namespace

FlashWindowWin32::FlashWindowWin32(HINSTANCE instance) : instance_(instance) {}

FlashWindowWin32::~FlashWindowWin32() {
    Unload();
    if (class_ != 0) {
        UnregisterClassW(kClassName, instance_);
    }
}

bool FlashWindowWin32::IsLoaded() {
    return window_ != nullptr;
}

void FlashWindowWin32::Load() {
    if (window_) {
        return;
    }
    if (class_ == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = FlashProcedure;
        windowClass.hInstance = instance_;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        // The class background is the whole picture: the system paints it, white.
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = kClassName;
        class_ = RegisterClassExW(&windowClass);
        if (class_ == 0) {
            ThrowLastError("flash window class", "");
        }
    }
    window_ = CreateWindowExW(kFlashExStyle, kClassName, kCaption, kFlashStyle, 0, 0, 0, 0, nullptr,
                              nullptr, instance_, nullptr);
    if (!window_) {
        ThrowLastError("flash window", "");
    }
    // No fading out when it is destroyed: the manual screenshot that follows would catch it.
    const BOOL noTransitions = TRUE;
    DwmSetWindowAttribute(window_, DWMWA_TRANSITIONS_FORCEDISABLED, &noTransitions,
                          sizeof noTransitions);
}

void FlashWindowWin32::SetTopmost() {
    if (window_) {
        SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, kTopmostFlags);
    }
}

void FlashWindowWin32::SetAlpha(std::uint8_t alpha) {
    if (!window_) {
        return;
    }
    const LONG style = GetWindowLongA(window_, GWL_EXSTYLE);
    if ((style & WS_EX_LAYERED) == 0) {
        SetWindowLongA(window_, GWL_EXSTYLE, style | WS_EX_LAYERED);
    }
    SetLayeredWindowAttributes(window_, 0, alpha, LWA_ALPHA);
}

void FlashWindowWin32::MoveTo(const ScreenRect& rect) {
    if (window_) {
        SetWindowPos(window_, nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void FlashWindowWin32::Show() {
    if (window_) {
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        UpdateWindow(window_);  // painted now, not when the queue gets to it
    }
}

void FlashWindowWin32::Unload() {
    if (window_) {
        DestroyWindow(window_);
        window_ = nullptr;
        // The manual screenshot follows at once; with desktop composition the screen shows the
        // overlay until the next composition pass, so that pass is awaited (a no-op without).
        DwmFlush();
    }
}

}  // namespace ruvello
