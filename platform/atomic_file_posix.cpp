#include "platform/atomic_file_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_system_posix.h"

namespace ruvello {
namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string temp = TemporaryPattern(folder);
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    // What the program writes shows the screen or holds a permission: only its owner may read it,
    // whatever the umask lets others do.
    const bool written = fchmod(fd, kPrivateFileMode) == 0 && WriteAll(fd, data, size);
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace ruvello
