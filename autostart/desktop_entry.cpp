#include "autostart/desktop_entry.h"

#include <stdexcept>

#include "platform/text.h"

namespace ruvello {
namespace {

void RefuseControlCharacters(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            throw std::invalid_argument("path with a control character: no autostart entry");
        }
    }
}

// The general escapes of a string value, applied when the file is read.
std::string EscapeString(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\') {
            escaped += "\\\\";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::string ExecArgument(const std::string& argument) {
    RefuseControlCharacters(argument);
    // Inside double quotes the Exec rules want ", `, $ and \ escaped by a backslash; "%" starts a
    // field code and stands doubled. The string escapes of the file then apply on top.
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    quoted += '"';
    return EscapeString(quoted);
}

std::string DesktopEntryFor(const ShortcutFields& fields, const std::string& name) {
    RefuseControlCharacters(fields.WorkingDirectory);
    RefuseControlCharacters(name);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           EscapeString(name) +
           "\n"
           "Exec=" +
           ExecArgument(fields.TargetPath) +
           "\n"
           "Path=" +
           EscapeString(fields.WorkingDirectory) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool DesktopEntrySwitchedOff(const std::string& content) {
    bool inEntry = false;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inEntry || equals == std::string::npos) {
            continue;
        }
        const std::string_view key = TrimBlanks(std::string_view(line).substr(0, equals));
        const std::string_view value = TrimBlanks(std::string_view(line).substr(equals + 1));
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false")) {
            return true;
        }
    }
    return false;
}

}  // namespace ruvello
