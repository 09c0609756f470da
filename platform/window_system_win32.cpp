#include "platform/window_system_win32.h"

#include "platform/last_error_win32.h"
#include "platform/text_win32.h"

namespace ruvello {

ScreenRect VirtualScreenRect() {
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

WindowHandle WindowSystemWin32::MainWindow() {
    return reinterpret_cast<WindowHandle>(window_);
}

// A copy, so that whoever destroys it (the tray at its end) leaves the window's own icon alone.
IconHandle WindowSystemWin32::MainIconCopy() {
    auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(window_, GCLP_HICONSM));
    if (!icon) {
        icon = reinterpret_cast<HICON>(GetClassLongPtrW(window_, GCLP_HICON));
    }
    HICON copy = icon ? CopyIcon(icon) : nullptr;
    if (!copy) {
        ThrowLastError("icon", "");
    }
    return reinterpret_cast<IconHandle>(copy);
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
