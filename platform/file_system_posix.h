#pragma once

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
};

// Whether `name` matches a pattern of "*" and "?" wildcards, regardless of ASCII letter case.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace ruvello
