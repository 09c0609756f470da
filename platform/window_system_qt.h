#pragma once

#include <QWidget>

#include <functional>

#include "platform/window_system.h"

namespace ruvello {

class QtTrayMenu;

// The window-system services of the Qt event loop. The main window is never shown.
class QtWindowSystem : public WindowSystem {
  public:
    QtWindowSystem(std::function<ScreenRect()> virtualScreen, std::function<void()> unloadMain);

    void AttachMenu(QtTrayMenu* menu) { menu_ = menu; }

    WindowHandle MainWindow() override { return reinterpret_cast<WindowHandle>(&mainWindow_); }
    IconHandle MainIconCopy() override;
    ScreenRect VirtualScreen() override { return virtualScreen_(); }
    void PopupMenu(MenuTree& menu) override;
    void DoEvents() override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void UnloadMainWindow() override { unloadMain_(); }

    // The program is ending (a signal, a logout): closes what waits for the user, a message box
    // or the menu, and lets nothing wait for the user again, so that the waiting handler returns
    // and the program can end.
    void EndInteraction();
    bool Ending() const { return ending_; }

    // Tells the user something once, in a message box that does not hold up the program (the
    // screenshots go on while it is open). Nothing for an empty text.
    void ShowNoticeOnce(const std::string& text);

  private:
    QWidget mainWindow_;
    QtTrayMenu* menu_ = nullptr;
    std::function<ScreenRect()> virtualScreen_;
    std::function<void()> unloadMain_;
    bool ending_ = false;
};

}  // namespace ruvello
