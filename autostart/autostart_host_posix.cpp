#include "autostart/autostart_host_posix.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "autostart/desktop_entry.h"
#include "platform/atomic_file_posix.h"
#include "platform/platform_error.h"

namespace ruvello {
namespace {

// The autostart folder is often missing on a fresh account; it and its parent are made as needed.
void MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            throw PlatformError("Ordner anlegen", part, PlatformError::Cause::Other,
                                std::strerror(errno));
        }
    }
}

}  // namespace

std::string PosixAutostartHost::Environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? value : "";
}

bool PosixAutostartHost::SwitchedOff(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return file && DesktopEntrySwitchedOff(content.str());
}

void PosixAutostartHost::SaveShortcut(const std::string& path, const ShortcutFields& fields) {
    const std::string entry = DesktopEntryFor(fields, "Ruvello");
    MakeFolders(path.substr(0, path.rfind('/') + 1));
    if (!WriteFileAtomically(path, reinterpret_cast<const std::uint8_t*>(entry.data()),
                             entry.size())) {
        throw PlatformError("Autostart-Eintrag schreiben", path, PlatformError::Cause::Other, "");
    }
}

}  // namespace ruvello
