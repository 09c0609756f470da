#pragma once

#include <string>

#include "platform/conventions.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"
#include "settings/profile_store.h"

namespace ruvello {

inline constexpr const char* kSettingsSection = "Settings";

// The program's one persistent store: config.ini beside the executable. Nothing is cached; every
// call works the path out anew and goes to the file.
//
// An installed program lies in a folder the user may not write in; it keeps config.ini in the
// user's settings folder and its screenshots in a folder of their own in the user's pictures
// folder. A desktop without `userFolders` (Windows) keeps both beside the program always.
class basINI {
  public:
    basINI(const Conventions& conventions, FileSystem& fs, ProfileStore& store,
           UserFolders* userFolders = nullptr)
        : conventions_(conventions), fs_(fs), store_(store), userFolders_(userFolders) {}

    // The program folder, ending in exactly one separator.
    std::string GetAppDir() const;
    // The folder of config.ini, ending in one separator: the program folder while the user may
    // write in it, else "ruvello" in the user's settings folder.
    std::string GetIniDir() const;
    // The screenshot folder when config.ini names none: the program folder while the user may
    // write in it, else "Ruvello" in the user's pictures folder, never the pictures folder itself
    // (every PNG directly in the screenshot folder may be deleted).
    std::string DefaultScreenshotFolder() const;
    std::string GetIniPath() const;
    std::string IniRead(const std::string& section, const std::string& key,
                        const std::string& defaultText) const;
    // Never reports a failure: a file that cannot be written stays as it was.
    void IniWrite(const std::string& section, const std::string& key,
                  const std::string& value) const;
    // Creates config.ini with the seven defaults when there is none, and its folder when that is
    // missing too. A hidden or system config.ini counts as present, so that its values are never
    // overwritten by defaults.
    void EnsureIniDefaults() const;

  private:
    bool BesideProgram(const std::string& appDir) const;
    std::string UserSubfolder(const std::string& base, const char* name) const;

    const Conventions& conventions_;
    FileSystem& fs_;
    ProfileStore& store_;
    UserFolders* userFolders_;
};

}  // namespace ruvello
