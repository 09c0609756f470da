#pragma once

#include "autostart/autostart_host.h"

namespace ruvello {

// Start at logon through an XDG autostart entry (a .desktop file).
class PosixAutostartHost : public AutostartHost {
  public:
    std::optional<std::string> StartupFolderLookup() override { return std::nullopt; }
    std::string Environment(const std::string& name) override;
    void SaveShortcut(const std::string& path, const ShortcutFields& fields) override;
    // The entry is written whole each time it is switched on; nothing notes a switch-off apart.
    bool SwitchedOff(const std::string&) override { return false; }
    void SwitchOn(const std::string&) override {}
};

}  // namespace ruvello
