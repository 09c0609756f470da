// Plays the shell's part in the tray test: takes the program's icon out of the tray, as a
// shell that restarts loses it, and announces the new task bar as a starting shell does.
//   ruvello_tray_helper remove-icon | announce-taskbar
#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "app/main_window_win32.h"
#include "tray/tray_host.h"

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"remove-icon") == 0) {
        NOTIFYICONDATAW record{};
        record.cbSize = sizeof record;
        record.hWnd = FindWindowW(ruvello::MainWindow::kClassName, nullptr);
        record.uID = ruvello::TrayIconData::kIconId;
        return record.hWnd && Shell_NotifyIconW(NIM_DELETE, &record) ? 0 : 1;
    }
    if (argc == 2 && std::wcscmp(argv[1], L"announce-taskbar") == 0) {
        return SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0)
                   ? 0
                   : 1;
    }
    return 2;
}
