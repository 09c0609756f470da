#include "platform/window_system_win32.h"

#include "platform/last_error_win32.h"
#include "platform/text_win32.h"

namespace ruvello {
namespace {

// Looked up when needed: newer than the oldest Windows the program runs on, or (comctl32) in
// the version that the program's manifest asks for only.
template <class Function>
Function Lookup(const wchar_t* module, const char* name) {
    const HMODULE loaded = LoadLibraryW(module);  // stays loaded: system libraries
    return loaded ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(loaded, name)))
                  : nullptr;
}

// The width of a small icon (the notification area's) for the DPI of the monitor `window` is
// on; before Windows 10 1607, for the DPI at logon.
int SmallIconSize(HWND window) {
    const auto metricForDpi =
        Lookup<int(WINAPI*)(int, UINT)>(L"user32.dll", "GetSystemMetricsForDpi");
    const auto dpiOfWindow = Lookup<UINT(WINAPI*)(HWND)>(L"user32.dll", "GetDpiForWindow");
    const UINT dpi = metricForDpi && dpiOfWindow ? dpiOfWindow(window) : 0;
    const int size = dpi > 0 ? metricForDpi(SM_CXSMICON, dpi) : 0;
    return size > 0 ? size : GetSystemMetrics(SM_CXSMICON);
}

}  // namespace

ScreenRect VirtualScreenRect() {
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

WindowHandle WindowSystemWin32::MainWindow() {
    return reinterpret_cast<WindowHandle>(window_);
}

// The program's icon for the tray, loaded anew at the size the shell shows it at now: what
// LoadIconMetric gives for LIM_SMALL, but for the DPI of now (an image of another size is
// scaled down from a larger one). The caller's own, to be destroyed.
IconHandle WindowSystemWin32::MainIconCopy() {
    const int size = SmallIconSize(window_);
    HICON icon = nullptr;
    const auto scaledDown = Lookup<HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*)>(
        L"comctl32.dll", "LoadIconWithScaleDown");
    if (!scaledDown || FAILED(scaledDown(module_, icon_, size, size, &icon))) {
        icon = static_cast<HICON>(LoadImageW(module_, icon_, IMAGE_ICON, size, size, 0));
    }
    if (!icon) {
        ThrowLastError("icon", "");
    }
    return reinterpret_cast<IconHandle>(icon);
}

ScreenRect WindowSystemWin32::VirtualScreen() {
    return VirtualScreenRect();
}

void WindowSystemWin32::PopupMenu(MenuTree& menu) {
    menu_.Show(window_, menu);
}

void WindowSystemWin32::DoEvents() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The main loop has to see it too.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Without an owner: the hidden main window would keep the box off the task bar and behind
// whatever the user looks at (at start-up, nothing of the program is in front), so it comes to
// the front and stays on top. MB_SYSTEMMODAL means no more than MB_TOPMOST on Windows; Wine
// honours only the former. Once the main window is gone the program is ending, and a box would
// only hold that up.
void WindowSystemWin32::ShowMessage(const std::string& text, const std::string& title) {
    if (!IsWindow(window_)) {
        return;
    }
    MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(),
                MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_TOPMOST | MB_SYSTEMMODAL);
}

void WindowSystemWin32::UnloadMainWindow() {
    unload_();
}

}  // namespace ruvello
