#include "capture/portal/restore_token_store_posix.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/atomic_file_posix.h"
#include "platform/path.h"

namespace ruvello {
namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) {
        return home;
    }
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

// Creates every missing folder of `folder` (an absolute path); the state folder holds a
// permission, so the folders made here are the user's own.
bool MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

RestoreTokenStore::RestoreTokenStore(std::string path) : path_(std::move(path)) {}

std::string RestoreTokenStore::DefaultPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    return XdgBaseFolder(state ? state : "", HomeFolder(), ".local/state") +
           "ruvello/screencast-restore-token";
}

std::string RestoreTokenStore::Load() const {
    std::ifstream file(path_, std::ios::binary);
    std::string text;
    std::getline(file, text);
    return IsRestoreToken(text) ? text : std::string();
}

std::size_t RestoreTokenStore::MonitorsAtChoice() const {
    std::ifstream file(path_, std::ios::binary);
    std::string token, count;
    if (!std::getline(file, token) || !IsRestoreToken(token) || !std::getline(file, count) ||
        count.empty() || count.size() > 3 ||
        count.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return static_cast<std::size_t>(std::stoul(count));
}

bool RestoreTokenStore::Save(const std::string& token, std::size_t monitorsAtChoice) {
    const std::size_t slash = path_.rfind('/');
    if (slash == std::string::npos || slash == 0 || !MakeFolders(path_.substr(0, slash))) {
        return false;
    }
    std::string lines = token + "\n";
    if (monitorsAtChoice > 0) {
        lines += std::to_string(monitorsAtChoice) + "\n";
    }
    return WriteFileAtomically(path_, reinterpret_cast<const std::uint8_t*>(lines.data()),
                               lines.size());
}

void RestoreTokenStore::Forget() {
    unlink(path_.c_str());
}

bool IsRestoreToken(std::string_view text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !IsHex(text[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace ruvello
