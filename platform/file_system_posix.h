#pragma once

#include <sys/types.h>

#include "platform/file_system.h"

namespace ruvello {

// The file services on POSIX calls. "Hidden" files are dot files; a symbolic link counts as what
// it points to, but removing one removes only the link.
class PosixFileSystem : public FileSystem {
  public:
    std::vector<std::string> Search(const std::string& pattern, SearchFilter filter) override;
    std::vector<FileDetails> SearchDetails(const std::string& pattern,
                                           SearchFilter filter) override;
    bool Exists(const std::string& path, SearchFilter filter) override;
    std::int64_t FileSize(const std::string& path) override;
    LocalDateTime LastModified(const std::string& path) override;
    void RemoveFile(const std::string& path) override;
    void MakeFolder(const std::string& path) override;
    std::string ProgramFolder() override;
    std::string ExeBaseName() override;
    std::optional<std::string> ReadWholeFile(const std::string& path) override;
    bool ReplaceWholeFile(const std::string& path, const std::string& content) override;
    void RemoveLeftoverTemporaries(const std::string& folder) override;
};

// The path of the running program's file as the kernel knows it (absolute, links resolved);
// empty when it cannot be read.
std::string OwnExecutablePath();

// The modes of what the program creates: screenshots, settings and the folders that hold them are
// readable by their owner only, never by the other users of the machine.
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kPrivateFileMode = 0600;

// Makes every missing folder of `folder` (an absolute path) for its owner alone; false when one
// cannot be made.
bool MakeMissingFolders(const std::string& folder);

// The mkstemp pattern of a temporary file in `folder` (empty, or ending in "/"): a dot file,
// which nothing counts, that names the program and its process, so that a later start can tell
// one left by a run that ended.
std::string TemporaryPattern(const std::string& folder);

// Whether `name` matches a pattern of "*" and "?" wildcards, regardless of ASCII letter case.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace ruvello
