#pragma once

#include <string_view>

namespace ruvello {

// What differs between the desktops in the program's own rules, as data: the backends pick one.
struct Conventions {
    enum class StartupFolder { WindowsShell, XdgAutostart };

    char separator;
    std::string_view exeExtension;
    std::string_view shortcutExtension;
    StartupFolder startupFolder;
};

inline constexpr Conventions kWindowsConventions{'\\', ".exe", ".lnk",
                                                 Conventions::StartupFolder::WindowsShell};
inline constexpr Conventions kLinuxConventions{'/', "", ".desktop",
                                               Conventions::StartupFolder::XdgAutostart};

}  // namespace ruvello
