#include "settings/bas_ini.h"

#include "platform/failure.h"
#include "platform/path.h"

namespace ruvello {

std::string basINI::GetAppDir() const {
    return WithTrailingSeparator(fs_.ProgramFolder(), conventions_);
}

std::string basINI::GetIniPath() const {
    return GetAppDir() + "config.ini";
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
    if (fs_.Exists(GetIniPath(), SearchFilter::AnyFile)) {
        return;
    }
    IniWrite(kSettingsSection, "IntervalSeconds", "60");
    IniWrite(kSettingsSection, "MaxImageCount", "500");
    IniWrite(kSettingsSection, "UseMaxCount", "true");
    IniWrite(kSettingsSection, "UseMaxSize", "true");
    IniWrite(kSettingsSection, "MaxTotalSizeMB", "500");
    IniWrite(kSettingsSection, "ScreenshotFolder", GetAppDir());
    IniWrite(kSettingsSection, "ShowFlash", "true");
}

}  // namespace ruvello
