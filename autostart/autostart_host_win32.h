#pragma once

#include "autostart/autostart_host.h"

namespace ruvello {

// Where Task Manager notes which entries of the user's Startup folder it switched off.
inline constexpr const wchar_t* kStartupApprovedKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";

// The Startup folder from the shell and its entries as shell links (.lnk). The shell link
// objects need COM, initialised apartment-threaded on the calling (user-interface) thread.
class AutostartHostWin32 : public AutostartHost {
  public:
    std::optional<std::string> StartupFolderLookup() override;
    std::string Environment(const std::string& name) override;
    void SaveShortcut(const std::string& path, const ShortcutFields& fields) override;
    // Task Manager's switch: a value named after the shortcut's file under kStartupApprovedKey
    // (in HKEY_CURRENT_USER) whose first byte is odd while the entry is switched off.
    bool SwitchedOff(const std::string& path) override;
    // Removes that value: without one, the entry starts.
    void SwitchOn(const std::string& path) override;
};

// "C:\x\ruvello.exe,0" -> the path and the icon's index; a location without an index has 0.
struct IconLocationParts {
    std::string path;
    int index = 0;
};
IconLocationParts SplitIconLocation(const std::string& location);

}  // namespace ruvello
