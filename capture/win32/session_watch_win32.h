#pragma once

#include <windows.h>

namespace ruvello {

// Whether this session's desktop can be seen, so that a capture shows it. Windows does not
// promise that BitBlt fails while the session is locked, switched away from (fast user
// switching) or disconnected (remote desktop): it may succeed with a black picture, and black
// screenshots would push every real one out of the folder. The session's notifications
// (WM_WTSSESSION_CHANGE, which the main window asks for) say when that begins and ends; a
// session that was locked before they were asked for is caught by looking at the desktop that
// takes the input, at every check.
class SessionWatch {
  public:
    // A WM_WTSSESSION_CHANGE with its code.
    void Changed(WPARAM code);
    bool DesktopVisible() const;

  private:
    bool locked_ = false;
    bool disconnected_ = false;
};

}  // namespace ruvello
