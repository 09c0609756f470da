#include "app/shot_path.h"

namespace ruvello {
namespace {

// Enough for a shot every second of a repeated hour, many times over.
constexpr int kMostSuffixes = 100'000;

bool Taken(FileSystem& fileSystem, const std::string& path) {
    // A hidden file would be replaced as well as a visible one; a folder would refuse the file.
    return fileSystem.Exists(path, SearchFilter::AnyFile) ||
           fileSystem.Exists(path, SearchFilter::OrdinaryFilesAndFolders);
}

}  // namespace

std::string FreeShotPath(FileSystem& fileSystem, const std::string& folder,
                         const std::string& stem) {
    std::string path = folder + stem + ".png";
    for (int suffix = 2; Taken(fileSystem, path); ++suffix) {
        if (suffix > kMostSuffixes) {
            return {};
        }
        path = folder + stem + "_" + std::to_string(suffix) + ".png";
    }
    return path;
}

}  // namespace ruvello
