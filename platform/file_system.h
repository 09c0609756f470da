#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/conventions.h"
#include "platform/local_date_time.h"

namespace ruvello {

enum class SearchFilter {
    OrdinaryFiles,  // no folders, no hidden or system files
    OrdinaryFilesAndFolders,
    AnyFile,  // ordinary files and hidden or system ones; no folders
};

// A listed entry with what the retention needs of it.
struct FileDetails {
    std::string name;  // without folder
    std::int64_t size = 0;
    LocalDateTime modified;
};

// The file services the program needs. Paths use the platform's separator. Every failure is a
// PlatformError; the callers decide what it means.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Names (without folder) matching `pattern`: a path whose last part may hold "*" wildcards,
    // matched regardless of letter case. A folder that does not exist lists nothing.
    virtual std::vector<std::string> Search(const std::string& pattern, SearchFilter filter) = 0;
    // Search with each file's size and last-modified time; an entry that vanishes between the
    // listing and the reading of its details is left out. Backends whose listing carries the
    // details (a directory read with a stat per entry, Windows' find data) answer it in one pass.
    virtual std::vector<FileDetails> SearchDetails(const std::string& pattern, SearchFilter filter);
    // True when an entry of the filter's kind exists at `path` (a folder path may end in the
    // separator).
    virtual bool Exists(const std::string& path, SearchFilter filter) = 0;
    virtual std::int64_t FileSize(const std::string& path) = 0;
    virtual LocalDateTime LastModified(const std::string& path) = 0;
    virtual void RemoveFile(const std::string& path) = 0;
    // One new folder level; the parent must exist.
    virtual void MakeFolder(const std::string& path) = 0;
    // The folder of the running executable, without a trailing separator except for a root.
    virtual std::string ProgramFolder() = 0;
    virtual std::string ExeBaseName() = 0;
    // The whole content of a file, or nothing when it cannot be read.
    virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
    // Replaces the file's content in one step (never leaves it half-written); false when refused.
    virtual bool ReplaceWholeFile(const std::string& path, const std::string& content) = 0;
    // Removes the temporary files (of ReplaceWholeFile and of the screenshots) that a run of the
    // program which ended before moving them into place left in `folder`, never those of a run
    // still going on. A missing folder has none; nothing is reported.
    virtual void RemoveLeftoverTemporaries(const std::string& folder) = 0;
};

// Makes `folder` together with any missing folders above it. Its last level must not be a hidden
// one (the existence test does not see those).
void MakeFolders(FileSystem& fs, const std::string& folder, const Conventions& conventions);

}  // namespace ruvello
