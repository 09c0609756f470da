#include "platform/file_system_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/fd_posix.h"
#include "platform/path.h"
#include "platform/platform_error.h"
#include "platform/text.h"

namespace ruvello {
namespace {

[[noreturn]] void Fail(const char* operation, const std::string& path, int error) {
    const auto cause = (error == ENOENT || error == ENOTDIR) ? PlatformError::Cause::NotFound
                       : (error == EACCES || error == EPERM || error == EROFS)
                           ? PlatformError::Cause::AccessDenied
                           : PlatformError::Cause::Other;
    throw PlatformError(operation, path, cause, std::strerror(error));
}

// Without trailing separators, so that "dir/" names the folder itself; "/" stays.
std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string_view BaseName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool Passes(bool isFolder, bool isFile, bool hidden, SearchFilter filter) {
    switch (filter) {
        case SearchFilter::OrdinaryFiles:
            return isFile && !hidden;
        case SearchFilter::OrdinaryFilesAndFolders:
            return (isFile || isFolder) && !hidden;
        case SearchFilter::AnyFile:
            return isFile;
    }
    return false;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

struct stat StatOrFail(const char* operation, const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        Fail(operation, path, errno);
    }
    if (!S_ISREG(st.st_mode)) {
        Fail(operation, path, S_ISDIR(st.st_mode) ? EISDIR : ENOENT);
    }
    return st;
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    // Iterative matching with one backtrack point for the last "*".
    std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

namespace {

// Reads a folder once, calling `take(name, stat)` for each entry of the filter's kind; the stat
// is filled in only when `withDetails` is set (or the entry's type needs it).
template <class Take>
void ReadFolder(const std::string& pattern, SearchFilter filter, bool withDetails, Take take) {
    const std::size_t slash = pattern.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : pattern.substr(0, slash);
    const std::string glob = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return;  // a folder that is gone lists nothing
        }
        Fail("Ordner lesen", folder, errno);
    }
    const int dirFd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !MatchesWildcard(glob, name)) {
            continue;
        }
        struct stat st {};
        bool isFile = entry->d_type == DT_REG;
        bool isFolder = entry->d_type == DT_DIR;
        if (withDetails || entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            if (fstatat(dirFd, entry->d_name, &st, 0) != 0) {
                continue;  // a dangling link, or an entry that vanished since the read
            }
            isFile = S_ISREG(st.st_mode);
            isFolder = S_ISDIR(st.st_mode);
        }
        if (Passes(isFolder, isFile, name.front() == '.', filter)) {
            take(name, st);
        }
    }
}

LocalDateTime LocalTimeOf(time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace

std::vector<std::string> PosixFileSystem::Search(const std::string& pattern, SearchFilter filter) {
    std::vector<std::string> names;
    ReadFolder(pattern, filter, false,
               [&](std::string_view name, const struct stat&) { names.emplace_back(name); });
    return names;
}

std::vector<FileDetails> PosixFileSystem::SearchDetails(const std::string& pattern,
                                                        SearchFilter filter) {
    std::vector<FileDetails> files;
    ReadFolder(pattern, filter, true, [&](std::string_view name, const struct stat& st) {
        files.push_back(
            {std::string(name), static_cast<std::int64_t>(st.st_size), LocalTimeOf(st.st_mtime)});
    });
    return files;
}

bool PosixFileSystem::Exists(const std::string& path, SearchFilter filter) {
    const std::string target = WithoutTrailingSlash(path);
    struct stat st {};
    if (target.empty() || stat(target.c_str(), &st) != 0) {
        return false;
    }
    const bool hidden = BaseName(target).substr(0, 1) == ".";
    return Passes(S_ISDIR(st.st_mode), S_ISREG(st.st_mode), hidden, filter);
}

std::int64_t PosixFileSystem::FileSize(const std::string& path) {
    return static_cast<std::int64_t>(StatOrFail("Dateigröße lesen", path).st_size);
}

LocalDateTime PosixFileSystem::LastModified(const std::string& path) {
    return LocalTimeOf(StatOrFail("Änderungszeit lesen", path).st_mtime);
}

void PosixFileSystem::RemoveFile(const std::string& path) {
    if (unlink(path.c_str()) != 0) {
        Fail("Datei löschen", path, errno);
    }
}

void PosixFileSystem::MakeFolder(const std::string& path) {
    const std::string target = WithoutTrailingSlash(path);
    // What the program keeps in its folders is private (screenshots, settings): a folder it makes
    // is its owner's alone. One the user made keeps the mode the user gave it.
    if (mkdir(target.c_str(), kPrivateFolderMode) != 0) {
        Fail("Ordner anlegen", path, errno);
    }
}

bool MakeMissingFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

std::string OwnExecutablePath() {
    std::string exe(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size());
    exe.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return exe;
}

std::string PosixFileSystem::ProgramFolder() {
    const std::string exe = OwnExecutablePath();
    if (exe.empty()) {
        Fail("Programmordner bestimmen", "/proc/self/exe", errno);
    }
    const std::size_t slash = exe.rfind('/');
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string PosixFileSystem::ExeBaseName() {
    std::string name(BaseName(OwnExecutablePath()));
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::optional<std::string> PosixFileSystem::ReadWholeFile(const std::string& path) {
    Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            return content;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

// Writes a sibling temporary file and renames it over the target, so a reader never sees half a
// file. A read-only target is refused, not replaced; a symbolic link is followed so that the
// link stays; the file keeps its permission bits, and a new one is its owner's alone.
bool PosixFileSystem::ReplaceWholeFile(const std::string& path, const std::string& content) {
    std::string target = path;
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    // A file without any write permission stays as it is, also for root, who could write anyway.
    if (exists &&
        (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)) {
        return false;
    }
    const std::size_t slash = target.rfind('/');
    std::string temp =
        TemporaryPattern(slash == std::string::npos ? std::string() : target.substr(0, slash + 1));
    Fd file(mkstemp(temp.data()));
    if (file.fd < 0) {
        return false;
    }
    const mode_t mode = exists ? (st.st_mode & 07777) : kPrivateFileMode;
    if (fchmod(file.fd, mode) != 0 || !WriteAll(file.fd, content) || fsync(file.fd) != 0 ||
        rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

namespace {

constexpr std::string_view kTemporaryPrefix = ".ruvello-";

// The process that made the temporary file `name` (TemporaryPattern: the prefix, the process
// id, "-" and six characters of mkstemp), or 0 for any other name.
pid_t TemporaryOwner(std::string_view name) {
    if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) {
        return 0;
    }
    name.remove_prefix(kTemporaryPrefix.size());
    pid_t owner = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), owner);
    const std::string_view rest(end, static_cast<std::size_t>(name.data() + name.size() - end));
    return error == std::errc() && owner > 0 && rest.size() == 7 && rest.front() == '-' ? owner : 0;
}

}  // namespace

std::string TemporaryPattern(const std::string& folder) {
    return folder + std::string(kTemporaryPrefix) + std::to_string(getpid()) + "-XXXXXX";
}

// A run removes its own temporary file on every path but its end. Only a process that is
// certainly gone counts as ended; the file of one that took over its id stays until a later
// start.
void PosixFileSystem::RemoveLeftoverTemporaries(const std::string& folder) {
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::unique_ptr<DIR, DirCloser> dir(opendir(base.empty() ? "." : base.c_str()));
    if (!dir) {
        return;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const pid_t owner = TemporaryOwner(entry->d_name);
        struct stat st {};
        const std::string path = base + entry->d_name;
        if (owner != 0 && owner != getpid() && kill(owner, 0) != 0 && errno == ESRCH &&
            lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            unlink(path.c_str());
        }
    }
}

}  // namespace ruvello
