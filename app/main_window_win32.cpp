#include "app/main_window_win32.h"

#include <wtsapi32.h>

#include "app/frm_main.h"
#include "app/resource_ids_win32.h"
#include "platform/last_error_win32.h"
#include "tray/tray_host.h"

namespace ruvello {
namespace {

HICON LoadAppIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    // Shared: the system owns these and frees them with the process.
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(RUVELLO_ICON), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_SHARED));
}

// A message box is a dialog of class "#32770"; the program shows no other dialog.
BOOL CALLBACK EndMessageBox(HWND window, LPARAM) {
    wchar_t name[16] = {};
    if (GetClassNameW(window, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0) {
        EndDialog(window, IDOK);
    }
    return TRUE;
}

// The form's handlers settle their own failures; nothing may unwind through the system's frames.
template <class Handler>
void Deliver(frmMain* form, Handler&& handler) noexcept {
    if (!form) {
        return;
    }
    try {
        handler(*form);
    } catch (...) {
    }
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance)
    : instance_(instance), taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadAppIcon(instance, SM_CXICON, SM_CYICON);
    windowClass.hIconSm = LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) {
        ThrowLastError("main window class", "");
    }
    // Never shown; a tool window would stay off the task bar even if it were.
    if (!CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"Ruvello", WS_OVERLAPPED, 0, 0, 0, 0,
                         nullptr, nullptr, instance, this)) {
        const DWORD error = GetLastError();
        UnregisterClassW(kClassName, instance);
        throw ErrorFromCode("main window", "", error);
    }
    // Locks, user switches and remote disconnects, for the capture (OnSessionChange).
    sessionNotifications_ =
        WTSRegisterSessionNotification(window_, NOTIFY_FOR_THIS_SESSION) != FALSE;
    // Run elevated, the window would otherwise not hear from a shell of normal rights.
    if (taskbarCreated_ != 0) {
        ChangeWindowMessageFilterEx(window_, taskbarCreated_, MSGFLT_ALLOW, nullptr);
    }
}

MainWindow::~MainWindow() {
    if (window_) {
        DestroyWindow(window_);
    }
    UnregisterClassW(kClassName, instance_);
}

void MainWindow::Close() {
    if (closing_) {
        return;
    }
    closing_ = true;
    Deliver(form_, [](frmMain& form) { form.Form_Unload(); });
    // An open menu or message box runs a loop of its own, which would keep the program alive
    // (a logout would wait for it); a box has no owner that would take it along. Both end once
    // this message has been handled, and no new box opens (ShowMessage asks for the window).
    EndMenu();
    EnumThreadWindows(GetCurrentThreadId(), EndMessageBox, 0);
    if (window_) {
        DestroyWindow(window_);
    }
}

int MainWindow::RunMessageLoop() {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, w, l);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, w, l);
    }
    return self->OnMessage(message, w, l);
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM w, LPARAM l) {
    // A shell that starts anew may show icons at another size (the DPI was changed meanwhile).
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        Deliver(form_, [](frmMain& form) {
            form.TrayHostRestarted();
            form.TrayIconSizeChanged();
        });
        return 0;
    }
    switch (message) {
        case TrayIconData::kCallbackMessage: {
            // The tray's callback: the mouse event over the icon is in the low word.
            const auto code = static_cast<std::int32_t>(LOWORD(l));
            Deliver(form_, [code](frmMain& form) { form.Form_MouseMove(code); });
            return 0;
        }
        case WM_TIMER:
            if (w == kShotTimerId) {
                Deliver(form_, [](frmMain& form) { form.tmrShot_Timer(); });
            } else if (w == kTrayRetryTimerId) {
                Deliver(form_, [](frmMain& form) { form.TrayHostRestarted(); });
            }
            return 0;
        case WM_DPICHANGED:
            // The monitor of the main window is the primary one, where the notification area is.
            Deliver(form_, [](frmMain& form) { form.TrayIconSizeChanged(); });
            return 0;
        case WM_WTSSESSION_CHANGE:
            if (sessionChanged_) {
                sessionChanged_(w);
            }
            return 0;
        case WM_CLOSE:
            Close();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (w) {
                Close();
            }
            return 0;
        case WM_DESTROY:
            if (sessionNotifications_) {
                WTSUnRegisterSessionNotification(window_);
                sessionNotifications_ = false;
            }
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window_, message, w, l);
    }
}

}  // namespace ruvello
