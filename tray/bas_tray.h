#pragma once

#include <string>

#include "tray/tray_host.h"

namespace ruvello {

// The tip field: the text cut to 127 characters, a terminating zero, the rest filled with spaces.
std::u16string FillTipField(const std::string& text);
// The text of a tip field, up to its terminating zero.
std::string TipText(const std::u16string& field);

// The program's one tray icon. From TraySetIcon on, the icon in the record is the module's own
// and TrayRemove destroys it; the shared default icon that TrayAdd puts in never is.
class basTray {
  public:
    explicit basTray(TrayHost& host) : host_(host) {}

    void TrayAdd(WindowHandle window, const std::string& text);
    void TraySetIcon(IconHandle icon);
    void TraySetTip(const std::string& text);
    // Never fails.
    void TrayRemove();
    // Adds the icon once more with the record as it stands (the tray host restarted, or was not
    // ready when the icon was first added).
    void TrayReAdd();

    const TrayIconData& record() const { return record_; }

  private:
    TrayHost& host_;
    TrayIconData record_;
    bool ownsIcon_ = false;
};

}  // namespace ruvello
