#pragma once

#include <string>

#include "platform/conventions.h"
#include "platform/file_system.h"
#include "settings/profile_store.h"

namespace ruvello {

inline constexpr const char* kSettingsSection = "Settings";

// The program's one persistent store: config.ini beside the executable. Nothing is cached; every
// call works the path out anew and goes to the file.
class basINI {
  public:
    basINI(const Conventions& conventions, FileSystem& fs, ProfileStore& store)
        : conventions_(conventions), fs_(fs), store_(store) {}

    // The program folder, ending in exactly one separator.
    std::string GetAppDir() const;
    std::string GetIniPath() const;
    std::string IniRead(const std::string& section, const std::string& key,
                        const std::string& defaultText) const;
    // Never reports a failure: a file that cannot be written stays as it was.
    void IniWrite(const std::string& section, const std::string& key,
                  const std::string& value) const;
    // Creates config.ini with the seven defaults when there is none. A hidden or system
    // config.ini counts as present, so that its values are never overwritten by defaults.
    void EnsureIniDefaults() const;

  private:
    const Conventions& conventions_;
    FileSystem& fs_;
    ProfileStore& store_;
};

}  // namespace ruvello
