#pragma once

#include "autostart/autostart_host.h"

namespace ruvello {

// The Startup folder from the shell and its entries as shell links (.lnk). The shell link
// objects need COM, initialised apartment-threaded on the calling (user-interface) thread.
class AutostartHostWin32 : public AutostartHost {
  public:
    std::optional<std::string> StartupFolderLookup() override;
    std::string Environment(const std::string& name) override;
    void SaveShortcut(const std::string& path, const ShortcutFields& fields) override;
};

// "C:\x\ruvello.exe,0" -> the path and the icon's index; a location without an index has 0.
struct IconLocationParts {
    std::string path;
    int index = 0;
};
IconLocationParts SplitIconLocation(const std::string& location);

}  // namespace ruvello
