#include "retention/png_listing.h"

#include "platform/text.h"

namespace ruvello {

std::vector<FileDetails> ListPngFiles(FileSystem& fs, const std::string& folder) {
    std::vector<FileDetails> files =
        fs.SearchDetails(folder + "*.png", SearchFilter::OrdinaryFiles);
    // Some file systems also match longer extensions (8.3 aliases); only ".png" counts.
    std::erase_if(files, [](const FileDetails& file) {
        return !EndsWithIgnoringAsciiCase(file.name, ".png");
    });
    return files;
}

}  // namespace ruvello
