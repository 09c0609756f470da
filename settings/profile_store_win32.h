#pragma once

#include "platform/file_system_win32.h"
#include "settings/profile_store.h"

namespace ruvello {

// config.ini read and written by the program itself, by the rules of the profile API (IniLookup,
// IniUpdate), in the encoding the file is in: UTF-8 with or without a byte order mark (as
// Notepad saves it), UTF-16 with one, or the ANSI code page (as the profile API writes it).
// Windows' own profile API reads a file without a mark in the ANSI code page and does not skip a
// UTF-8 mark, and its ANSI functions cannot spell a path outside that code page; so any folder
// can be stored and read back. A file that is not yet UTF-8 or UTF-16 stays in the ANSI code
// page as long as every text has a form there, and becomes UTF-8 (without a mark) for the first
// one that has none. Every change replaces the file whole (FileSystem::ReplaceWholeFile) and
// keeps its attributes; a read-only file is never changed.
class ProfileStoreWin32 : public ProfileStore {
  public:
    std::string ReadString(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& defaultText) override;
    void WriteString(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value) override;

  private:
    FileSystemWin32 fs_;
};

}  // namespace ruvello
