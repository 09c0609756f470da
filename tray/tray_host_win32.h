#pragma once

#include <windows.h>

#include <shellapi.h>

#include "tray/tray_host.h"

namespace ruvello {

inline constexpr UINT kTrayRetryMilliseconds = 3000;

// The notification area through Shell_NotifyIconW. At logon the shell may not be ready for the
// icon yet: an add that fails arms a retry timer on `window` (WM_TIMER with `retryTimerId`),
// whose handler adds the icon again, until an add succeeds.
class TrayHostWin32 : public TrayHost {
  public:
    TrayHostWin32(HWND window, UINT_PTR retryTimerId)
        : window_(window), retryTimerId_(retryTimerId) {}

    void NotifyIcon(TrayMessage message, const TrayIconData& data) override;
    IconHandle DefaultAppIcon() override;
    void DestroyIcon(IconHandle icon) override;

    bool RetryPending() const { return retryPending_; }

  private:
    void SetRetry(bool pending);

    HWND window_;
    UINT_PTR retryTimerId_;
    bool retryPending_ = false;
};

// The record as the shell takes it.
NOTIFYICONDATAW ToNotifyIconData(const TrayIconData& data);

}  // namespace ruvello
