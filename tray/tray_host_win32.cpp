#include "tray/tray_host_win32.h"

#include <algorithm>

namespace ruvello {

NOTIFYICONDATAW ToNotifyIconData(const TrayIconData& data) {
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof record;
    record.hWnd = reinterpret_cast<HWND>(data.window);
    record.uID = TrayIconData::kIconId;
    record.uFlags = TrayIconData::kFlags;
    record.uCallbackMessage = TrayIconData::kCallbackMessage;
    record.hIcon = reinterpret_cast<HICON>(data.icon);
    constexpr std::size_t kTipUnits = sizeof record.szTip / sizeof record.szTip[0];
    static_assert(kTipUnits == TrayIconData::kTipLength);
    const std::size_t units = std::min(data.tip.size(), kTipUnits);
    std::copy_n(data.tip.begin(), units, record.szTip);
    record.szTip[kTipUnits - 1] = L'\0';  // the shell reads up to a zero
    return record;
}

void TrayHostWin32::NotifyIcon(TrayMessage message, const TrayIconData& data) {
    NOTIFYICONDATAW record = ToNotifyIconData(data);
    switch (message) {
        case TrayMessage::Add:
            // An add can also fail, or time out, with the icon in place (a slow shell): then a
            // modify succeeds, and nothing is left to retry.
            SetRetry(!Shell_NotifyIconW(NIM_ADD, &record) &&
                     !Shell_NotifyIconW(NIM_MODIFY, &record));
            break;
        case TrayMessage::Modify:
            // A refused modify means the icon is not there (yet): it is added when the shell is
            // ready. One that succeeds proves it is.
            SetRetry(!Shell_NotifyIconW(NIM_MODIFY, &record));
            break;
        case TrayMessage::Delete:
            SetRetry(false);
            Shell_NotifyIconW(NIM_DELETE, &record);
            break;
    }
}

IconHandle TrayHostWin32::DefaultAppIcon() {
    return reinterpret_cast<IconHandle>(LoadIconW(nullptr, IDI_APPLICATION));
}

// The shared default icon is the system's, not ours to destroy (the record still holds it when
// the program's own icon could not be set).
void TrayHostWin32::DestroyIcon(IconHandle icon) {
    if (icon != DefaultAppIcon()) {
        ::DestroyIcon(reinterpret_cast<HICON>(icon));
    }
}

void TrayHostWin32::SetRetry(bool pending) {
    if (pending && !retryPending_) {
        SetTimer(window_, retryTimerId_, kTrayRetryMilliseconds, nullptr);
    } else if (!pending && retryPending_) {
        KillTimer(window_, retryTimerId_);
    }
    retryPending_ = pending;
}

}  // namespace ruvello
