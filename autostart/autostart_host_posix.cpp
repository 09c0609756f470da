#include "autostart/autostart_host_posix.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "autostart/desktop_entry.h"
#include "platform/atomic_file_posix.h"
#include "platform/file_system_posix.h"
#include "platform/platform_error.h"

namespace ruvello {

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
    // The autostart folder is often missing on a fresh account; it and its parent are made as
    // needed.
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!MakeMissingFolders(folder)) {
        throw PlatformError("Ordner anlegen", folder, PlatformError::Cause::Other,
                            std::strerror(errno));
    }
    if (!WriteFileAtomically(path, reinterpret_cast<const std::uint8_t*>(entry.data()),
                             entry.size())) {
        throw PlatformError("Autostart-Eintrag schreiben", path, PlatformError::Cause::Other, "");
    }
}

}  // namespace ruvello
