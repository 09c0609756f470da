#pragma once

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/conventions.h"
#include "platform/file_system.h"
#include "platform/platform_error.h"
#include "platform/text.h"

namespace ruvello::testing {

// An in-memory file system that keeps entries in creation order (its listing order) and can be
// told to fail in the ways real folders do.
class FakeFileSystem : public FileSystem {
  public:
    struct Entry {
        std::string path;  // without a trailing separator
        bool folder = false;
        bool hidden = false;
        std::string content;
        std::int64_t size = 0;
        LocalDateTime modified{2024, 1, 1, 0, 0, 0};
    };

    explicit FakeFileSystem(const Conventions& conventions, std::string programFolder)
        : sep_(conventions.separator), programFolder_(std::move(programFolder)) {}

    // Faults to inject.
    std::set<std::string> undeletable;   // RemoveFile fails
    std::set<std::string> vanishOnRead;  // listed, but gone when its size or date is read
    std::set<std::string> readOnly;      // ReplaceWholeFile refused
    bool makeFolderFails = false;
    int removeCalls = 0;
    int searchCalls = 0;                      // readings of a folder
    std::vector<std::string> leftoverSweeps;  // folders RemoveLeftoverTemporaries was asked for

    void AddFolder(const std::string& path) {
        Entry folder;
        folder.path = Normal(path);
        folder.folder = true;
        Put(std::move(folder));
    }
    Entry& AddFile(const std::string& path, std::int64_t size = 0,
                   LocalDateTime modified = {2024, 1, 1, 0, 0, 0}, bool hidden = false) {
        return Put({Normal(path), false, hidden, std::string(), size, modified});
    }
    Entry* Find(const std::string& path) {
        const std::string normal = Normal(path);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.path == normal; });
        return it == entries_.end() ? nullptr : &*it;
    }
    std::string Content(const std::string& path) {
        Entry* e = Find(path);
        return e ? e->content : std::string("<missing>");
    }
    std::vector<std::string> FileNamesIn(const std::string& folder) {
        return Search(folder + sep_ + "*", SearchFilter::AnyFile);
    }

    std::vector<std::string> Search(const std::string& pattern, SearchFilter filter) override {
        ++searchCalls;
        const std::size_t cut = pattern.rfind(sep_);
        const std::string folder = Normal(pattern.substr(0, cut == std::string::npos ? 0 : cut));
        const std::string glob = pattern.substr(cut == std::string::npos ? 0 : cut + 1);
        std::vector<std::string> names;
        for (const Entry& e : entries_) {
            const std::size_t at = e.path.rfind(sep_);
            if (at != std::string::npos && e.path.substr(0, at) == folder &&
                Matches(AsciiLower(glob), AsciiLower(e.path.substr(at + 1))) && Passes(e, filter)) {
                names.push_back(e.path.substr(at + 1));
            }
        }
        return names;
    }
    bool Exists(const std::string& path, SearchFilter filter) override {
        const Entry* e = Find(path);
        return e && Passes(*e, filter);
    }
    std::int64_t FileSize(const std::string& path) override { return FileFor("size", path).size; }
    LocalDateTime LastModified(const std::string& path) override {
        return FileFor("time", path).modified;
    }
    void RemoveFile(const std::string& path) override {
        ++removeCalls;
        FileFor("delete", path);
        if (undeletable.count(path)) {
            throw PlatformError("delete", path, PlatformError::Cause::AccessDenied, "");
        }
        const std::string normal = Normal(path);
        std::erase_if(entries_, [&](const Entry& e) { return e.path == normal; });
    }
    void MakeFolder(const std::string& path) override {
        const std::string normal = Normal(path);
        const std::size_t at = normal.rfind(sep_);
        const std::string parent = at == std::string::npos ? std::string() : normal.substr(0, at);
        if (makeFolderFails || Find(normal) ||
            (!parent.empty() && !IsRoot(parent) && !IsFolder(parent))) {
            throw PlatformError("mkdir", path, PlatformError::Cause::Other, "");
        }
        AddFolder(normal);
    }
    std::string ProgramFolder() override { return programFolder_; }
    std::string ExeBaseName() override { return "ruvello"; }
    std::optional<std::string> ReadWholeFile(const std::string& path) override {
        const Entry* e = Find(path);
        if (!e || e->folder) {
            return std::nullopt;
        }
        return e->content;
    }
    bool ReplaceWholeFile(const std::string& path, const std::string& content) override {
        const std::string normal = Normal(path);
        const std::size_t at = normal.rfind(sep_);
        if (readOnly.count(path) || (at != std::string::npos && !IsRoot(normal.substr(0, at)) &&
                                     !IsFolder(normal.substr(0, at)))) {
            return false;
        }
        Entry* e = Find(path);
        Entry& target = e ? *e : AddFile(path);
        target.content = content;
        target.size = static_cast<std::int64_t>(content.size());
        return true;
    }

    void RemoveLeftoverTemporaries(const std::string& folder) override {
        leftoverSweeps.push_back(folder);
    }

  private:
    std::string Normal(std::string path) const {
        while (path.size() > 1 && path.back() == sep_ && path[path.size() - 2] != ':') {
            path.pop_back();
        }
        if (path.size() > 1 && path.back() == sep_) {
            path.pop_back();  // "C:\" is the folder "C:"
        }
        return path;
    }
    static bool IsRoot(const std::string& folder) { return folder.empty() || folder.back() == ':'; }
    bool IsFolder(const std::string& path) {
        const Entry* e = Find(path);
        return e && e->folder;
    }
    static bool Passes(const Entry& e, SearchFilter filter) {
        switch (filter) {
            case SearchFilter::OrdinaryFiles:
                return !e.folder && !e.hidden;
            case SearchFilter::OrdinaryFilesAndFolders:
                return e.folder || !e.hidden;
            case SearchFilter::AnyFile:
                return !e.folder;
        }
        return false;
    }
    static bool Matches(const std::string& glob, const std::string& name) {
        if (glob.empty()) {
            return name.empty();
        }
        if (glob[0] == '*') {
            for (std::size_t skip = 0; skip <= name.size(); ++skip) {
                if (Matches(glob.substr(1), name.substr(skip))) {
                    return true;
                }
            }
            return false;
        }
        return !name.empty() && (glob[0] == '?' || glob[0] == name[0]) &&
               Matches(glob.substr(1), name.substr(1));
    }
    Entry& FileFor(const char* operation, const std::string& path) {
        Entry* e = Find(path);
        if (!e || e->folder || vanishOnRead.count(path)) {
            throw PlatformError(operation, path, PlatformError::Cause::NotFound, "");
        }
        return *e;
    }
    Entry& Put(Entry entry) {
        if (Entry* existing = Find(entry.path)) {
            *existing = std::move(entry);
            return *existing;
        }
        entries_.push_back(std::move(entry));
        return entries_.back();
    }

    char sep_;
    std::string programFolder_;
    std::vector<Entry> entries_;  // NOLINT: a vector keeps the listing order
};

}  // namespace ruvello::testing
