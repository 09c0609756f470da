// Plays the shell's and the session's part in the tests of ruvello.exe: takes the program's icon
// out of the tray, as a shell that restarts loses it, and announces the new task bar as a
// starting shell does; closes the program's window, ends the session, locks and disconnects it,
// each with the messages Windows sends; describes the program's message boxes; reads out the
// texts another program's window shows (the pages of the setup program), found by the start of
// its title.
//   ruvello_tray_helper remove-icon | announce-taskbar | close | end-session | boxes
//   ruvello_tray_helper session lock | unlock | disconnect | connect
//   ruvello_tray_helper texts TITLE_START
#include <windows.h>

#include <shellapi.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/main_window_win32.h"
#include "tray/tray_host.h"

namespace {

HWND ProgramWindow() {
    return FindWindowW(ruvello::MainWindow::kClassName, nullptr);
}

// As the session manager does: the query, then the end with its answer.
int EndSession(HWND window) {
    DWORD_PTR agreed = FALSE;
    if (!SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                             5000, &agreed)) {
        return 1;
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_ENDSESSION, agreed ? TRUE : FALSE, ENDSESSION_LOGOFF,
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    return agreed ? 0 : 3;
}

int SessionChange(const wchar_t* what) {
    WPARAM code = 0;
    if (std::wcscmp(what, L"lock") == 0) {
        code = WTS_SESSION_LOCK;
    } else if (std::wcscmp(what, L"unlock") == 0) {
        code = WTS_SESSION_UNLOCK;
    } else if (std::wcscmp(what, L"disconnect") == 0) {
        code = WTS_REMOTE_DISCONNECT;
    } else if (std::wcscmp(what, L"connect") == 0) {
        code = WTS_REMOTE_CONNECT;
    } else {
        return 2;
    }
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    // Sent, not posted: once it returns, the program knows, and a screenshot it was taking
    // when the message came is written.
    const HWND window = ProgramWindow();
    DWORD_PTR ignored = 0;
    return window && SendMessageTimeoutW(window, WM_WTSSESSION_CHANGE, code, session,
                                         SMTO_ABORTIFHUNG, 10000, &ignored)
               ? 0
               : 1;
}

struct BoxSearch {
    DWORD pid;
    int found;
};

// One line per message box of the program: its owner, whether it is topmost, and whether it
// has the keyboard focus of the desktop.
BOOL CALLBACK DescribeBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (pid != search->pid || std::wcscmp(className, L"#32770") != 0 || !IsWindowVisible(window)) {
        return TRUE;
    }
    ++search->found;
    const auto exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    std::printf("box owner=%d topmost=%d foreground=%d\n", GetWindow(window, GW_OWNER) != nullptr,
                (exStyle & WS_EX_TOPMOST) != 0, GetForegroundWindow() == window);
    return TRUE;
}

int DescribeBoxes() {
    const HWND window = ProgramWindow();
    BoxSearch search{0, 0};
    if (!window || !GetWindowThreadProcessId(window, &search.pid)) {
        return 1;
    }
    EnumWindows(DescribeBox, reinterpret_cast<LPARAM>(&search));
    std::fflush(stdout);
    return search.found > 0 ? 0 : 4;
}

void PrintUtf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                            size, nullptr, nullptr);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// Without GetWindowTextLengthW, which sends a message and would wait for a busy program; the
// text of another program's window comes without one.
std::wstring TextOf(HWND window) {
    wchar_t text[2048] = {};
    return std::wstring(text, static_cast<std::size_t>(GetWindowTextW(window, text, 2048)));
}

// One line per visible control with a text, in the order of the window tree; line breaks
// within a text as "|".
BOOL CALLBACK PrintText(HWND window, LPARAM) {
    std::wstring text = TextOf(window);
    if (!IsWindowVisible(window) || text.empty()) {
        return TRUE;
    }
    for (wchar_t& c : text) {
        if (c == L'\r' || c == L'\n') {
            c = L'|';
        }
    }
    PrintUtf8(text + L"\n");
    return TRUE;
}

struct TitleSearch {
    const wchar_t* start;
    HWND found;
};

// The setup program adds the step to its title ("Installation von Ruvello: ...").
BOOL CALLBACK FindByTitleStart(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TitleSearch*>(context);
    const std::wstring title = TextOf(window);
    if (IsWindowVisible(window) && title.rfind(search->start, 0) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int PrintTexts(const wchar_t* titleStart) {
    TitleSearch search{titleStart, nullptr};
    EnumWindows(FindByTitleStart, reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
        return 1;
    }
    EnumChildWindows(search.found, PrintText, 0);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"remove-icon") == 0) {
        NOTIFYICONDATAW record{};
        record.cbSize = sizeof record;
        record.hWnd = ProgramWindow();
        record.uID = ruvello::TrayIconData::kIconId;
        return record.hWnd && Shell_NotifyIconW(NIM_DELETE, &record) ? 0 : 1;
    }
    if (argc == 2 && std::wcscmp(argv[1], L"announce-taskbar") == 0) {
        return SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0)
                   ? 0
                   : 1;
    }
    if (argc == 2 && std::wcscmp(argv[1], L"close") == 0) {
        const HWND window = ProgramWindow();
        return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (argc == 2 && std::wcscmp(argv[1], L"end-session") == 0) {
        const HWND window = ProgramWindow();
        return window ? EndSession(window) : 1;
    }
    if (argc == 2 && std::wcscmp(argv[1], L"boxes") == 0) {
        return DescribeBoxes();
    }
    if (argc == 3 && std::wcscmp(argv[1], L"session") == 0) {
        return SessionChange(argv[2]);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"texts") == 0) {
        return PrintTexts(argv[2]);
    }
    return 2;
}
