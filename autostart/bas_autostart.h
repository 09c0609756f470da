#pragma once

#include <string>

#include "autostart/autostart_host.h"
#include "platform/conventions.h"
#include "platform/file_system.h"
#include "platform/window_system.h"

namespace ruvello {

// Starting at logon is the presence of an entry for the program's own executable in the user's
// Startup folder, unless the desktop was told elsewhere not to start it.
class basAutostart {
  public:
    basAutostart(const Conventions& conventions, FileSystem& fs, AutostartHost& host,
                 WindowSystem& windows)
        : conventions_(conventions), fs_(fs), host_(host), windows_(windows) {}

    std::string GetStartupFolder();
    std::string GetExePath();
    std::string GetShortcutPath();
    bool IsAutostartEnabled();
    // True when the requested state was reached; any failure gives false.
    bool SetAutostart(bool enable);

    ShortcutFields ShortcutFor(const std::string& exePath) const;

  private:
    const Conventions& conventions_;
    FileSystem& fs_;
    AutostartHost& host_;
    WindowSystem& windows_;
};

}  // namespace ruvello
