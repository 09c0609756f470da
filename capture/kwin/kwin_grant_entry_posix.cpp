#include "capture/kwin/kwin_grant_entry_posix.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "autostart/desktop_entry.h"
#include "platform/atomic_file_posix.h"
#include "platform/file_system_posix.h"
#include "platform/path.h"

namespace ruvello {
namespace {

// FNV-1a: the same name for the same path in every build and run.
std::uint64_t PathHash(const std::string& path) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : path) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    }
    return hash;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string KWinGrantEntry(const std::string& executable) {
    // KWin splits Exec like a shell command line (QProcess::splitCommand, double quotes): the
    // quoted path is one word there as it is for the desktop.
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Ruvello\n"
           "Comment=Erlaubt dieser Ruvello-Kopie die stille Bildschirmaufnahme unter KDE "
           "Plasma\n"
           "Exec=" +
           ExecArgument(executable) +
           "\n"
           "NoDisplay=true\n"
           "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n";
}

std::string KWinGrantEntryPath(const std::string& dataHome, const std::string& executable) {
    char name[64];
    std::snprintf(name, sizeof name, "ruvello-kwin-%016llx.desktop",
                  static_cast<unsigned long long>(PathHash(executable)));
    return dataHome + "applications/" + name;
}

GrantEntryWrite WriteKWinGrantEntry(const std::string& executable) {
    std::string entry;
    try {
        entry = KWinGrantEntry(executable);
    } catch (const std::invalid_argument&) {
        return GrantEntryWrite::kFailed;
    }
    const std::string dataHome =
        XdgBaseFolder(Environment("XDG_DATA_HOME"), Environment("HOME"), ".local/share");
    const std::string path = KWinGrantEntryPath(dataHome, executable);
    PosixFileSystem files;
    if (files.ReadWholeFile(path) == entry) {
        return GrantEntryWrite::kUnchanged;
    }
    if (!MakeMissingFolders(dataHome + "applications") ||
        !WriteFileAtomically(path, reinterpret_cast<const std::uint8_t*>(entry.data()),
                             entry.size())) {
        return GrantEntryWrite::kFailed;
    }
    return GrantEntryWrite::kWritten;
}

}  // namespace ruvello
