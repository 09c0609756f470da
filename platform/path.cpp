#include "platform/path.h"

namespace ruvello {

bool IsSeparator(char c, const Conventions& conventions) {
    return c == conventions.separator || (conventions.separator == '\\' && c == '/');
}

bool EndsWithSeparator(std::string_view path, const Conventions& conventions) {
    return !path.empty() && IsSeparator(path.back(), conventions);
}

std::string WithTrailingSeparator(std::string path, const Conventions& conventions) {
    if (!EndsWithSeparator(path, conventions)) {
        path += conventions.separator;
    }
    return path;
}

std::string_view FolderOf(std::string_view path, const Conventions& conventions) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1], conventions)) {
            return path.substr(0, i - 1);
        }
    }
    return {};
}

std::string XdgBaseFolder(std::string_view variable, std::string_view home,
                          std::string_view belowHome) {
    if (!variable.empty() && variable.front() == '/') {
        std::string folder(variable);
        return folder.back() == '/' ? folder : folder + '/';
    }
    return std::string(home) + '/' + std::string(belowHome) + '/';
}

std::string XdgConfigHome(std::string_view configHomeVariable, std::string_view home) {
    return XdgBaseFolder(configHomeVariable, home, ".config");
}

}  // namespace ruvello
