#include <gtest/gtest.h>

#include "autostart/desktop_entry.h"

namespace ruvello {
namespace {

// Undoes the file's string escapes, then splits and unquotes the Exec value as a launcher does.
std::vector<std::string> LaunchArguments(const std::string& execValue) {
    std::string unescaped;
    for (std::size_t i = 0; i < execValue.size(); ++i) {
        if (execValue[i] == '\\' && i + 1 < execValue.size() && execValue[i + 1] == '\\') {
            ++i;
        }
        unescaped += execValue[i];
    }
    std::vector<std::string> arguments(1);
    bool quoted = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (quoted && c == '\\' && i + 1 < unescaped.size()) {
            arguments.back() += unescaped[++i];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == '%' && i + 1 < unescaped.size() && unescaped[i + 1] == '%') {
            arguments.back() += unescaped[++i];
        } else if (c == ' ' && !quoted) {
            arguments.emplace_back();
        } else {
            arguments.back() += c;
        }
    }
    return arguments;
}

TEST(DesktopEntry, StartsExactlyTheProgramWhateverItsPathHolds) {
    for (const std::string path :
         {"/opt/ruvello/ruvello", "/home/a b/My Tools/ruvello", "/x/\"quoted\"/ruvello",
          "/x/100%/ruvello", "/x/$HOME/ruvello", "/x/`id`/ruvello", "/x/back\\slash/ruvello",
          "/x/;rm -rf ~;/ruvello", "/x/it's/ruvello", "/x/Grüße/ruvello"}) {
        const std::string exec = ExecArgument(path);
        EXPECT_EQ(LaunchArguments(exec), std::vector<std::string>{path}) << exec;
    }
}

TEST(DesktopEntry, HoldsTheKeysOfAnAutostartEntry) {
    ShortcutFields fields{"/home/a b/ruvello", "/home/a b", "/home/a b/ruvello,0", 7};
    EXPECT_EQ(DesktopEntryFor(fields, "Ruvello"),
              "[Desktop Entry]\nType=Application\nName=Ruvello\nExec=\"/home/a b/ruvello\"\n"
              "Path=/home/a b\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
}

TEST(DesktopEntry, SwitchedOffByTheDesktopsSettingsInItsOwnGroupOnly) {
    const std::pair<const char*, bool> cases[] = {
        {"[Desktop Entry]\nExec=x\nX-GNOME-Autostart-enabled=true\n", false},
        {"[Desktop Entry]\nExec=x\nX-GNOME-Autostart-enabled=false\n", true},
        {"[Desktop Entry]\r\nHidden = true\r\n", true},
        {"[Desktop Entry]\nHidden=false\n", false},
        {"[Desktop Action Quit]\nHidden=true\n[Desktop Entry]\nExec=x\n", false},
        {"", false}};
    for (const auto& [content, off] : cases) {
        EXPECT_EQ(DesktopEntrySwitchedOff(content), off) << content;
    }
}

TEST(DesktopEntry, RefusesAPathWithALineBreak) {
    ShortcutFields fields{"/x/a\nExec=evil/ruvello", "/x", "", 7};
    EXPECT_THROW(DesktopEntryFor(fields, "Ruvello"), std::invalid_argument);
}

}  // namespace
}  // namespace ruvello
