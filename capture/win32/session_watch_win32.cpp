#include "capture/win32/session_watch_win32.h"

namespace ruvello {
namespace {

// The desktop's name, or nothing when it cannot be read.
bool DesktopName(HDESK desktop, wchar_t (&name)[64]) {
    DWORD needed = 0;
    return GetUserObjectInformationW(desktop, UOI_NAME, name, sizeof name, &needed) != FALSE;
}

// The desktop that takes the input is this thread's: not the secure desktop of the lock
// screen or of an elevation prompt, and not another desktop switched to. A session without
// one (disconnected) cannot open it.
bool InputDesktopIsOurs() {
    const HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (!input) {
        return false;
    }
    wchar_t inputName[64] = {};
    wchar_t ownName[64] = {};
    const bool same = DesktopName(input, inputName) &&
                      DesktopName(GetThreadDesktop(GetCurrentThreadId()), ownName) &&
                      lstrcmpiW(inputName, ownName) == 0;
    CloseDesktop(input);
    return same;
}

}  // namespace

void SessionWatch::Changed(WPARAM code) {
    switch (code) {
        case WTS_SESSION_LOCK:
            locked_ = true;
            break;
        case WTS_SESSION_UNLOCK:
            locked_ = false;
            break;
        case WTS_CONSOLE_DISCONNECT:
        case WTS_REMOTE_DISCONNECT:
            disconnected_ = true;
            break;
        case WTS_CONSOLE_CONNECT:
        case WTS_REMOTE_CONNECT:
            disconnected_ = false;
            break;
        default:
            break;
    }
}

bool SessionWatch::DesktopVisible() const {
    return !locked_ && !disconnected_ && InputDesktopIsOurs();
}

}  // namespace ruvello
