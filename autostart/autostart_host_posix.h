#pragma once

#include "autostart/autostart_host.h"

namespace ruvello {

// Start at logon through an XDG autostart entry (a .desktop file).
class PosixAutostartHost : public AutostartHost {
  public:
    std::optional<std::string> StartupFolderLookup() override { return std::nullopt; }
    std::string Environment(const std::string& name) override;
    void SaveShortcut(const std::string& path, const ShortcutFields& fields) override;
    // A desktop's settings switch an entry off inside the file ("Hidden", GNOME's
    // "X-GNOME-Autostart-enabled"); switching on writes the entry whole, which takes that back.
    bool SwitchedOff(const std::string& path) override;
    void SwitchOn(const std::string&) override {}
};

}  // namespace ruvello
