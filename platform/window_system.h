#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace ruvello {

class MenuTree;

struct ScreenRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The timer control tmrShot: while enabled it raises frmMain::tmrShot_Timer about every interval.
class ShotTimer {
  public:
    virtual ~ShotTimer() = default;
    virtual void SetInterval(std::int32_t milliseconds) = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

// The window-system facilities of the one user-interface thread.
class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    virtual WindowHandle MainWindow() = 0;
    // An icon the caller may destroy: the program's own, at the size the tray shows it at now.
    virtual IconHandle MainIconCopy() = 0;
    // The bounding rectangle of all monitors, in pixels.
    virtual ScreenRect VirtualScreen() = 0;
    // Shows the children of mnuTrayRoot at the mouse position and returns once the menu has
    // closed; a chosen item's click (MenuTree::Click) has run by then.
    virtual void PopupMenu(MenuTree& menu) = 0;
    // Processes all pending events once, then returns.
    virtual void DoEvents() = 0;
    // Modal: the text, the exclamation icon and an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
    // Closes the main window: frmMain::Form_Unload runs and the program ends.
    virtual void UnloadMainWindow() = 0;
};

}  // namespace ruvello
