#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace ruvello {

// The PNG files directly in `folder` (which ends in a separator), in the file system's order,
// with size and date: ordinary files only, ".png" in any letter case. Files that vanish while the
// folder is read no longer count.
std::vector<FileDetails> ListPngFiles(FileSystem& fs, const std::string& folder);

}  // namespace ruvello
