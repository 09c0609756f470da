#pragma once

#include <string>

#include "autostart/autostart_host.h"

namespace ruvello {

// The XDG autostart entry that starts the program at logon. The program path is quoted and
// escaped for the Exec key so that spaces, quotes, "%", "$", "`" and backslashes still start
// exactly that program and run nothing else. A path with a control character has no safe form:
// std::invalid_argument.
std::string DesktopEntryFor(const ShortcutFields& fields, const std::string& name);

// Whether a desktop's settings switched the entry off while keeping the file: "Hidden=true"
// (the entry counts as deleted) or GNOME's "X-GNOME-Autostart-enabled=false", in the
// [Desktop Entry] group.
bool DesktopEntrySwitchedOff(const std::string& content);

// One argument of an Exec key as it must stand in the file.
std::string ExecArgument(const std::string& argument);

}  // namespace ruvello
