#pragma once

#include <string>

namespace ruvello {

// The desktop entry that makes KWin grant its screenshot interface to a copy of the program
// started from its own folder (./run.sh, ~/Ruvello/), which no installed entry names. KWin reads
// every application entry, also those hidden from menus, and grants the interfaces listed in
// X-KDE-DBUS-Restricted-Interfaces of the entry whose Exec program is the caller's executable
// (/proc/PID/exe against the first word of Exec, links resolved). The installed program has its
// grant in the package's entry.

// The entry for `executable` (an absolute path). std::invalid_argument for a path with a control
// character, which no Exec key can hold.
std::string KWinGrantEntry(const std::string& executable);

// Where the entry for `executable` goes in `dataHome` (ending in "/"): one file per copy of the
// program, so that two copies in different folders keep their grants side by side.
std::string KWinGrantEntryPath(const std::string& dataHome, const std::string& executable);

enum class GrantEntryWrite {
    kUnchanged,  // the file says it already: KWin has seen it
    kWritten,    // new or changed: KWin sees it once it has read the applications again
    kFailed,
};

// Writes the entry for `executable` into the user's applications folder ($XDG_DATA_HOME, else
// ~/.local/share), leaving an unchanged file alone so that KWin need not read them all again.
GrantEntryWrite WriteKWinGrantEntry(const std::string& executable);

}  // namespace ruvello
