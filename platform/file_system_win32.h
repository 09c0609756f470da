#pragma once

#include <string>

#include "platform/file_system.h"

namespace ruvello {

// Files and folders through the wide-character Windows API; paths are UTF-8 in the core.
class FileSystemWin32 : public FileSystem {
  public:
    std::vector<std::string> Search(const std::string& pattern, SearchFilter filter) override;
    // One pass: the find data carries each file's size and time.
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

// A name for the new content of `path` in the same folder (so that the final move stays on one
// volume), distinct per process and never ending in the final name's extension.
std::wstring TemporarySibling(const std::wstring& path);
// Moves a completely written `temporary` over `path` in one step, tried again for a moment while
// another program holds either file; removes it when that fails.
bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& path);
// The full path of the running executable.
std::wstring ModulePath();

}  // namespace ruvello
