#pragma once

#include <windows.h>

#include <functional>

namespace ruvello {

class frmMain;

inline constexpr UINT_PTR kShotTimerId = 1;
inline constexpr UINT_PTR kTrayRetryTimerId = 2;

// The hidden main window: the receiver of the tray icon's mouse events, the timers and the
// shell's "TaskbarCreated" broadcast (which is why it is a real top-level window, never shown,
// and not a message-only one).
class MainWindow {
  public:
    static constexpr const wchar_t* kClassName = L"RuvelloMain";

    explicit MainWindow(HINSTANCE instance);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    HWND Handle() const { return window_; }
    // From now on the window's events go to `form`.
    void Attach(frmMain& form) { form_ = &form; }
    // WM_WTSSESSION_CHANGE goes to `handler`, with its code.
    void OnSessionChange(std::function<void(WPARAM)> handler) {
        sessionChanged_ = std::move(handler);
    }
    // Form_Unload (once), then the window is destroyed and the message loop ends.
    void Close();
    // Until the window is gone; the exit code.
    int RunMessageLoop();

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT OnMessage(UINT message, WPARAM w, LPARAM l);

    HINSTANCE instance_;
    UINT taskbarCreated_ = 0;
    HWND window_ = nullptr;
    frmMain* form_ = nullptr;
    std::function<void(WPARAM)> sessionChanged_;
    bool closing_ = false;
    bool sessionNotifications_ = false;
};

}  // namespace ruvello
