#pragma once

#include <windows.h>

#include <functional>

#include "platform/window_system.h"
#include "tray/tray_menu_win32.h"

namespace ruvello {

// The window-system services of the user-interface thread around the hidden main window.
class WindowSystemWin32 : public WindowSystem {
  public:
    // `unload` closes the main window (frmMain::Form_Unload, then the window goes); the
    // program's icon is the resource `icon` of `module`.
    WindowSystemWin32(HWND mainWindow, std::function<void()> unload, HINSTANCE module,
                      const wchar_t* icon)
        : window_(mainWindow), unload_(std::move(unload)), module_(module), icon_(icon) {}

    WindowHandle MainWindow() override;
    IconHandle MainIconCopy() override;
    ScreenRect VirtualScreen() override;
    void PopupMenu(MenuTree& menu) override;
    void DoEvents() override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void UnloadMainWindow() override;

  private:
    HWND window_;
    std::function<void()> unload_;
    HINSTANCE module_;
    const wchar_t* icon_;
    TrayMenuWin32 menu_;
};

// The bounding rectangle of all monitors.
ScreenRect VirtualScreenRect();

}  // namespace ruvello
