#include "platform/user_folders_xdg.h"

#include <fcntl.h>
#include <unistd.h>

#include <QStandardPaths>

#include <cstdlib>

#include "platform/path.h"

namespace ruvello {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

bool XdgUserFolders::CanWriteIn(const std::string& folder) {
    // Creating a file needs write and search rights, checked for the effective user; a file
    // system mounted read-only says no here too.
    return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string XdgUserFolders::ConfigHome() {
    return XdgConfigHome(Environment("XDG_CONFIG_HOME"), Environment("HOME"));
}

std::string XdgUserFolders::PicturesFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
}

}  // namespace ruvello
