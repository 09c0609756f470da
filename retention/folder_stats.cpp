#include "retention/folder_stats.h"

#include "retention/png_listing.h"

namespace ruvello {

FolderStats GetFolderStats(FileSystem& fs, const std::string& folder) {
    FolderStats stats;
    std::int64_t totalBytes = 0;
    for (const std::string& name : ListPngFiles(fs, folder)) {
        if (ReadUnlessVanished([&] { totalBytes += fs.FileSize(folder + name); })) {
            ++stats.imageCount;
        }
    }
    stats.sizeMB = static_cast<double>(totalBytes) / static_cast<double>(kBytesPerMegabyte);
    return stats;
}

}  // namespace ruvello
