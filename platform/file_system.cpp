#include "platform/file_system.h"

#include "platform/failure.h"
#include "platform/path.h"
#include "platform/platform_error.h"

namespace ruvello {

std::vector<FileDetails> FileSystem::SearchDetails(const std::string& pattern,
                                                   SearchFilter filter) {
    std::string folder = pattern;
    while (!folder.empty() && folder.back() != '/' && folder.back() != '\\') {
        folder.pop_back();
    }
    std::vector<FileDetails> details;
    for (std::string& name : Search(pattern, filter)) {
        const std::string path = folder + name;
        try {
            FileDetails entry{std::move(name), FileSize(path), LastModified(path)};
            details.push_back(std::move(entry));
        } catch (const PlatformError& error) {
            if (error.cause() != PlatformError::Cause::NotFound) {
                throw;
            }
        }
    }
    return details;
}

void MakeFolders(FileSystem& fs, const std::string& folder, const Conventions& conventions) {
    if (fs.Exists(folder, SearchFilter::OrdinaryFilesAndFolders)) {
        return;
    }
    const std::string last =
        EndsWithSeparator(folder, conventions) ? folder.substr(0, folder.size() - 1) : folder;
    const std::string_view parent = FolderOf(last, conventions);
    for (std::size_t i = 1; i <= parent.size(); ++i) {
        if (i == parent.size() || IsSeparator(parent[i], conventions)) {
            // A level that exists refuses to be made again, and a hidden one (~/.config) does
            // not pass the existence test: whether the levels above are there shows when the
            // last one is made.
            CarryOn([&] { fs.MakeFolder(std::string(parent.substr(0, i))); });
        }
    }
    fs.MakeFolder(folder);
}

}  // namespace ruvello
