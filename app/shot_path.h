#pragma once

#include <string>

#include "platform/file_system.h"

namespace ruvello {

// The path for a new screenshot named `stem` + ".png" in `folder` (which ends in a separator):
// that name while nothing lies there, else the first free of `stem` + "_2.png", "_3.png" ... Names
// have one-second resolution in local time, so a second shot in the same second, or one in the
// hour that repeats when daylight saving ends, must not replace the screenshot already there.
// Empty when no name is free (a folder answering that every name is taken).
std::string FreeShotPath(FileSystem& fileSystem, const std::string& folder,
                         const std::string& stem);

}  // namespace ruvello
