#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ruvello {

// What a start-at-logon entry holds.
struct ShortcutFields {
    std::string TargetPath;
    std::string WorkingDirectory;
    std::string IconLocation;
    std::int16_t WindowStyle = 7;  // start minimised
};

// The desktop's side of starting at logon.
class AutostartHost {
  public:
    virtual ~AutostartHost() = default;

    // The current user's Startup folder from the shell, or nothing when the shell cannot say.
    virtual std::optional<std::string> StartupFolderLookup() = 0;
    // An environment variable, empty when unset.
    virtual std::string Environment(const std::string& name) = 0;
    // Writes the entry at `path` in the desktop's own format; a failure is a PlatformError.
    virtual void SaveShortcut(const std::string& path, const ShortcutFields& fields) = 0;
    // Whether the desktop was told elsewhere not to start the entry at `path` although it is
    // there (Windows' Task Manager keeps the shortcut and notes the switch-off apart).
    virtual bool SwitchedOff(const std::string& path) = 0;
    // Takes such a note back, so that the entry at `path` starts at logon again; a failure is a
    // PlatformError.
    virtual void SwitchOn(const std::string& path) = 0;
};

}  // namespace ruvello
