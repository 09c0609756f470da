#include "platform/file_system.h"

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

}  // namespace ruvello
