#pragma once

#include <string>
#include <string_view>

#include "platform/conventions.h"

namespace ruvello {

// On Windows "/" separates as well as "\"; on Linux only "/".
bool IsSeparator(char c, const Conventions& conventions);
bool EndsWithSeparator(std::string_view path, const Conventions& conventions);
// `path` with the platform's separator appended unless it already ends in one.
std::string WithTrailingSeparator(std::string path, const Conventions& conventions);
// Everything before the last separator (the folder of a file path).
std::string_view FolderOf(std::string_view path, const Conventions& conventions);
// A user's base folder under the XDG rules, ending in "/": the variable's value ($XDG_..._HOME),
// or `home`/`belowHome` when that is unset or relative (a relative one is to be ignored).
std::string XdgBaseFolder(std::string_view variable, std::string_view home,
                          std::string_view belowHome);
// The base folder of a user's settings: $XDG_CONFIG_HOME, else $HOME/.config.
std::string XdgConfigHome(std::string_view configHomeVariable, std::string_view home);

}  // namespace ruvello
