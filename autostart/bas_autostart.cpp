#include "autostart/bas_autostart.h"

#include "platform/failure.h"
#include "platform/path.h"

namespace ruvello {
namespace {

constexpr const char* kMessageTitle = "Autostart";

}  // namespace

std::string basAutostart::GetStartupFolder() {
    if (conventions_.startupFolder == Conventions::StartupFolder::XdgAutostart) {
        return XdgConfigHome(host_.Environment("XDG_CONFIG_HOME"), host_.Environment("HOME")) +
               "autostart/";
    }
    if (const auto found = host_.StartupFolderLookup()) {
        return WithTrailingSeparator(*found, conventions_);
    }
    return host_.Environment("APPDATA") + "\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\";
}

std::string basAutostart::GetExePath() {
    return WithTrailingSeparator(fs_.ProgramFolder(), conventions_) + fs_.ExeBaseName() +
           std::string(conventions_.exeExtension);
}

std::string basAutostart::GetShortcutPath() {
    return GetStartupFolder() + fs_.ExeBaseName() + std::string(conventions_.shortcutExtension);
}

// What the desktop will do at the next logon, not only whether the entry is there.
bool basAutostart::IsAutostartEnabled() {
    const std::string shortcutPath = GetShortcutPath();
    return fs_.Exists(shortcutPath, SearchFilter::OrdinaryFiles) &&
           !host_.SwitchedOff(shortcutPath);
}

ShortcutFields basAutostart::ShortcutFor(const std::string& exePath) const {
    ShortcutFields fields;
    fields.TargetPath = exePath;
    fields.WorkingDirectory = std::string(FolderOf(exePath, conventions_));
    if (fields.WorkingDirectory.empty()) {
        fields.WorkingDirectory = std::string(1, conventions_.separator);  // the file system root
    }
    fields.IconLocation = exePath + ",0";
    fields.WindowStyle = 7;
    return fields;
}

bool basAutostart::SetAutostart(bool enable) {
    return FalseOnFailure([&] {
        const std::string shortcutPath = GetShortcutPath();
        if (enable) {
            const std::string exePath = GetExePath();
            if (!fs_.Exists(exePath, SearchFilter::OrdinaryFiles)) {
                windows_.ShowMessage(
                    "Autostart kann erst nach dem Kompilieren eingerichtet werden.\r\n"
                    "Erstellte EXE nicht gefunden:\r\n" +
                        exePath,
                    kMessageTitle);
                return false;
            }
            host_.SaveShortcut(shortcutPath, ShortcutFor(exePath));
            host_.SwitchOn(shortcutPath);
            return true;
        }
        if (fs_.Exists(shortcutPath, SearchFilter::OrdinaryFiles)) {
            fs_.RemoveFile(shortcutPath);
        }
        return true;
    });
}

}  // namespace ruvello
