#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace ruvello {

enum class TrayMessage : std::uint32_t { Add = 0, Modify = 1, Delete = 2 };

// The single tray record: every request sends all of it, with all three parts flagged valid.
struct TrayIconData {
    static constexpr std::uint32_t kIconId = 1;
    static constexpr std::uint32_t kFlags = 7;                // message | icon | tip
    static constexpr std::uint32_t kCallbackMessage = 0x200;  // the window's mouse-move message
    static constexpr std::size_t kTipLength = 128;

    WindowHandle window = 0;
    IconHandle icon = 0;
    std::u16string tip;  // kTipLength units: the text, a zero, then spaces
};

// The desktop's notification area.
class TrayHost {
  public:
    virtual ~TrayHost() = default;

    // Results are not examined; a request that fails (no tray yet) is simply lost.
    virtual void NotifyIcon(TrayMessage message, const TrayIconData& data) = 0;
    // The system's shared default application icon.
    virtual IconHandle DefaultAppIcon() = 0;
    virtual void DestroyIcon(IconHandle icon) = 0;
};

}  // namespace ruvello
