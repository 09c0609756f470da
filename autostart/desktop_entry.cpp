#include "autostart/desktop_entry.h"

#include <stdexcept>

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

}  // namespace ruvello
