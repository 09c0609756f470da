#include <algorithm>
#include <string>

#include "app/frm_main.h"
#include "platform/path.h"
#include "platform/text.h"
#include "settings/value_parsing.h"

namespace ruvello {

void frmMain::LoadSettings() {
    auto read = [&](const char* key, const std::string& defaultText) {
        return basINI_.IniRead(kSettingsSection, key, defaultText);
    };
    auto& s = AppSettings;
    // An interval beyond 2,147,483 s has no millisecond form; the longest one is meant.
    s.IntervalSeconds =
        std::min(ParseLongOrDefault(read("IntervalSeconds", "60"), 60), kMaxIntervalSeconds);
    s.MaxImageCount = ParseLongOrDefault(read("MaxImageCount", "500"), 500);
    s.MaxTotalSizeMB = ParseLongOrDefault(read("MaxTotalSizeMB", "500"), 500);
    s.UseMaxCount = ParseBool(read("UseMaxCount", "true"), true);
    s.UseMaxSize = ParseBool(read("UseMaxSize", "true"), true);
    s.ShowFlash = ParseBool(read("ShowFlash", "true"), true);
    const std::string defaultFolder = basINI_.DefaultScreenshotFolder();
    s.ScreenshotFolder = read("ScreenshotFolder", defaultFolder);
    // File names are joined to the folder directly: without its separator they would land in,
    // and the retention would delete from, the parent folder; an empty one would mean the
    // working directory.
    s.ScreenshotFolder =
        s.ScreenshotFolder.empty()
            ? defaultFolder
            : WithTrailingSeparator(std::move(s.ScreenshotFolder), platform_.conventions);
    FileSystem& fs = platform_.fileSystem;
    if (!fs.Exists(s.ScreenshotFolder, SearchFilter::OrdinaryFilesAndFolders)) {
        // The default one may lie in a pictures folder that a new account does not have yet. A
        // folder the user named is made one level only: a missing parent is more likely a typo
        // or a drive not plugged in than a wish for new folders.
        if (s.ScreenshotFolder == defaultFolder) {
            MakeFolders(fs, s.ScreenshotFolder, platform_.conventions);
        } else {
            fs.MakeFolder(s.ScreenshotFolder);
        }
    }
}

// The locale's word, unless it would not read back as the same value (a language whose words
// the parser does not know): then the English one.
std::string frmMain::BooleanText(bool value) {
    const std::string word = AsciiLower(platform_.locale.BooleanWord(value));
    if (ParseBool(word, !value) == value) {
        return word;
    }
    return value ? "true" : "false";
}

void frmMain::SaveSettings() {
    const auto& s = AppSettings;
    auto write = [&](const char* key, const std::string& value) {
        basINI_.IniWrite(kSettingsSection, key, value);
    };
    write("IntervalSeconds", std::to_string(s.IntervalSeconds));
    write("MaxImageCount", std::to_string(s.MaxImageCount));
    write("UseMaxCount", BooleanText(s.UseMaxCount));
    write("UseMaxSize", BooleanText(s.UseMaxSize));
    write("MaxTotalSizeMB", std::to_string(s.MaxTotalSizeMB));
    write("ScreenshotFolder", s.ScreenshotFolder);
    write("ShowFlash", BooleanText(s.ShowFlash));
}

}  // namespace ruvello
