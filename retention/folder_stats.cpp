#include "retention/folder_stats.h"

#include "retention/png_listing.h"

namespace ruvello {

FolderStats GetFolderStats(FileSystem& fs, const std::string& folder) {
    const std::vector<FileDetails> files = ListPngFiles(fs, folder);
    std::int64_t totalBytes = 0;
    for (const FileDetails& file : files) {
        totalBytes += file.size;
    }
    FolderStats stats;
    stats.imageCount = static_cast<std::int32_t>(files.size());
    stats.sizeMB = static_cast<double>(totalBytes) / static_cast<double>(kBytesPerMegabyte);
    return stats;
}

}  // namespace ruvello
