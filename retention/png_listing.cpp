#include "retention/png_listing.h"

#include <algorithm>

#include "platform/text.h"

namespace ruvello {

std::vector<std::string> ListPngFiles(FileSystem& fs, const std::string& folder) {
    std::vector<std::string> names = fs.Search(folder + "*.png", SearchFilter::OrdinaryFiles);
    // Some file systems also match longer extensions ("x.png~", 8.3 aliases); only ".png" counts.
    std::erase_if(names,
                  [](const std::string& name) { return !EndsWithIgnoringAsciiCase(name, ".png"); });
    return names;
}

}  // namespace ruvello
