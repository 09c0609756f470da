#pragma once

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace ruvello {

inline constexpr std::int64_t kBytesPerMegabyte = 1'048'576;

struct FolderStats {
    std::int32_t imageCount = 0;
    double sizeMB = 0;  // total bytes / 1,048,576, unrounded
};

// Counts the PNG files directly in `folder` and adds up their sizes.
FolderStats GetFolderStats(FileSystem& fs, const std::string& folder);

}  // namespace ruvello
