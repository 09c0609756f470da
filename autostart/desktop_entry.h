#pragma once

#include <string>

#include "autostart/autostart_host.h"

namespace ruvello {

// The XDG autostart entry that starts the program at logon. The program path is quoted and
// escaped for the Exec key so that spaces, quotes, "%", "$", "`" and backslashes still start
// exactly that program and run nothing else. A path with a control character has no safe form:
// std::invalid_argument.
std::string DesktopEntryFor(const ShortcutFields& fields, const std::string& name);

// One argument of an Exec key as it must stand in the file.
std::string ExecArgument(const std::string& argument);

}  // namespace ruvello
