#include "settings/bas_ini.h"

#include "platform/failure.h"
#include "platform/path.h"

namespace ruvello {

std::string basINI::GetAppDir() const {
    return WithTrailingSeparator(fs_.ProgramFolder(), conventions_);
}

bool basINI::BesideProgram(const std::string& appDir) const {
    return userFolders_ == nullptr || userFolders_->CanWriteIn(appDir);
}

std::string basINI::UserSubfolder(const std::string& base, const char* name) const {
    return WithTrailingSeparator(base, conventions_) + name + conventions_.separator;
}

std::string basINI::GetIniDir() const {
    std::string appDir = GetAppDir();
    return BesideProgram(appDir) ? appDir : UserSubfolder(userFolders_->ConfigHome(), "ruvello");
}

std::string basINI::DefaultScreenshotFolder() const {
    std::string appDir = GetAppDir();
    return BesideProgram(appDir) ? appDir
                                 : UserSubfolder(userFolders_->PicturesFolder(), "Ruvello");
}

std::string basINI::GetIniPath() const {
    return GetIniDir() + "config.ini";
}

std::string basINI::IniRead(const std::string& section, const std::string& key,
                            const std::string& defaultText) const {
    return store_.ReadString(GetIniPath(), section, key, defaultText);
}

void basINI::IniWrite(const std::string& section, const std::string& key,
                      const std::string& value) const {
    CarryOn([&] { store_.WriteString(GetIniPath(), section, key, value); });
}

void basINI::EnsureIniDefaults() const {
    const std::string iniDir = GetIniDir();
    if (fs_.Exists(iniDir + "config.ini", SearchFilter::AnyFile)) {
        return;
    }
    if (iniDir != GetAppDir()) {
        MakeFolders(fs_, iniDir, conventions_);  // a new account may have no settings folder yet
    }
    IniWrite(kSettingsSection, "IntervalSeconds", "60");
    IniWrite(kSettingsSection, "MaxImageCount", "500");
    IniWrite(kSettingsSection, "UseMaxCount", "true");
    IniWrite(kSettingsSection, "UseMaxSize", "true");
    IniWrite(kSettingsSection, "MaxTotalSizeMB", "500");
    IniWrite(kSettingsSection, "ScreenshotFolder", DefaultScreenshotFolder());
    IniWrite(kSettingsSection, "ShowFlash", "true");
}

}  // namespace ruvello
