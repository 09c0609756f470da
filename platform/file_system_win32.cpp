#include "platform/file_system_win32.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

#include "platform/handle_guard_win32.h"
#include "platform/last_error_win32.h"
#include "platform/text.h"
#include "platform/text_win32.h"

namespace ruvello {
namespace {

constexpr DWORD kHiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool Passes(DWORD attributes, SearchFilter filter) {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool hidden = (attributes & kHiddenOrSystem) != 0;
    switch (filter) {
        case SearchFilter::OrdinaryFiles:
            return !folder && !hidden;
        case SearchFilter::OrdinaryFilesAndFolders:
            return folder || !hidden;
        case SearchFilter::AnyFile:
            return !folder;
    }
    return false;
}

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == L'\0') ||
           (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

// Without trailing separators, except the one of a drive root ("C:\").
std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/') &&
           !(path.size() == 3 && path[1] == L':')) {
        path.pop_back();
    }
    return path;
}

WIN32_FILE_ATTRIBUTE_DATA FileData(const char* operation, const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
        ThrowLastError(operation, path);
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        throw PlatformError(operation, path, PlatformError::Cause::NotFound, "a folder");
    }
    return data;
}

std::int64_t SizeOf(DWORD high, DWORD low) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

// One bias (the current one) for every file keeps the files' order of age, also across a
// change to or from daylight saving time.
LocalDateTime LocalTimeOf(const FILETIME& utc, const std::string& path) {
    FILETIME local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) {
        ThrowLastError("time", path);
    }
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

// A virus scanner or the search indexer opens a file that was just written, often without
// letting others share it, for a moment. The pauses between the attempts add up to 150 ms, well
// inside a tick of the schedule.
constexpr DWORD kHeldFilePauses[] = {5, 10, 20, 40, 75};

enum class Held { Shared, SharedOrDenied };

// A file held by another program refuses sharing; a move over it (or of it) is denied access.
bool HeldByAnother(DWORD error, Held held) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           (held == Held::SharedOrDenied && error == ERROR_ACCESS_DENIED);
}

// Runs `attempt` until it succeeds, fails for another reason than a file held by another
// program, or the pauses are used up; its last result.
template <class Attempt>
auto RetriedWhileHeld(Held held, Attempt&& attempt) {
    auto result = attempt();
    for (const DWORD pause : kHeldFilePauses) {
        if (result || !HeldByAnother(GetLastError(), held)) {
            break;
        }
        Sleep(pause);
        result = attempt();
    }
    return result;
}

// The process that wrote the temporary file `name` (TemporarySibling: the final name, a dot, the
// process id, ".tmp"), when its final name is one the program writes: config.ini or a
// screenshot.
std::optional<DWORD> TemporaryOwner(std::string_view name) {
    if (!EndsWithIgnoringAsciiCase(name, ".tmp")) {
        return std::nullopt;
    }
    name.remove_suffix(4);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(dot + 1);
    DWORD process = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), process);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    const std::string finalName = AsciiLower(name.substr(0, dot));
    const bool screenshot =
        EndsWithIgnoringAsciiCase(finalName, ".png") &&
        (finalName.rfind("screenshot_", 0) == 0 || finalName.rfind("manualshot_", 0) == 0);
    if (finalName != "config.ini" && !screenshot) {
        return std::nullopt;
    }
    return process;
}

// Only a process that is certainly gone counts as ended: one of another user (access denied)
// may still write.
bool ProcessRuns(DWORD process) {
    const HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
    if (!handle) {
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    const bool runs = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
    CloseHandle(handle);
    return runs;
}

std::size_t LastSeparator(const std::wstring& path) {
    return path.find_last_of(L"\\/");
}

// Runs `visit` for each entry of the search that passes the filter, "." and ".." never.
template <class Visit>
void ForEachFound(const std::string& pattern, SearchFilter filter, Visit&& visit) {
    WIN32_FIND_DATAW found{};
    FindHandle search(FindFirstFileW(Wide(pattern).c_str(), &found));
    if (!search) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_NO_MORE_FILES) {
            return;  // nothing matches, or the folder does not exist
        }
        throw ErrorFromCode("search", pattern, error);
    }
    do {
        if (!IsDotEntry(found.cFileName) && Passes(found.dwFileAttributes, filter)) {
            visit(found);
        }
    } while (FindNextFileW(search.get(), &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
        throw ErrorFromCode("search", pattern, error);
    }
}

}  // namespace

std::vector<std::string> FileSystemWin32::Search(const std::string& pattern, SearchFilter filter) {
    std::vector<std::string> names;
    ForEachFound(pattern, filter,
                 [&](const WIN32_FIND_DATAW& found) { names.push_back(Utf8(found.cFileName)); });
    return names;
}

std::vector<FileDetails> FileSystemWin32::SearchDetails(const std::string& pattern,
                                                        SearchFilter filter) {
    std::vector<FileDetails> files;
    ForEachFound(pattern, filter, [&](const WIN32_FIND_DATAW& found) {
        const std::string name = Utf8(found.cFileName);
        files.push_back({name, SizeOf(found.nFileSizeHigh, found.nFileSizeLow),
                         LocalTimeOf(found.ftLastWriteTime, name)});
    });
    return files;
}

bool FileSystemWin32::Exists(const std::string& path, SearchFilter filter) {
    if (path.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(WithoutTrailingSeparators(Wide(path)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && Passes(attributes, filter);
}

std::int64_t FileSystemWin32::FileSize(const std::string& path) {
    const WIN32_FILE_ATTRIBUTE_DATA data = FileData("size", path);
    return SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
}

LocalDateTime FileSystemWin32::LastModified(const std::string& path) {
    return LocalTimeOf(FileData("time", path).ftLastWriteTime, path);
}

void FileSystemWin32::RemoveFile(const std::string& path) {
    if (!DeleteFileW(Wide(path).c_str())) {
        ThrowLastError("delete", path);
    }
}

void FileSystemWin32::MakeFolder(const std::string& path) {
    if (!CreateDirectoryW(WithoutTrailingSeparators(Wide(path)).c_str(), nullptr)) {
        ThrowLastError("mkdir", path);
    }
}

std::string FileSystemWin32::ProgramFolder() {
    std::wstring folder = ModulePath();
    const std::size_t cut = LastSeparator(folder);
    folder.resize(cut == std::wstring::npos ? 0 : cut);
    if (folder.size() == 2 && folder[1] == L':') {
        folder += L'\\';  // a drive root keeps its separator
    }
    return Utf8(folder);
}

std::string FileSystemWin32::ExeBaseName() {
    std::wstring name = ModulePath();
    const std::size_t cut = LastSeparator(name);
    if (cut != std::wstring::npos) {
        name.erase(0, cut + 1);
    }
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) {
        name.resize(dot);
    }
    return Utf8(name);
}

std::optional<std::string> FileSystemWin32::ReadWholeFile(const std::string& path) {
    const std::wstring widePath = Wide(path);
    FileHandle file(RetriedWhileHeld(Held::Shared, [&] {
        return FileHandle(CreateFileW(widePath.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }));
    if (!file) {
        return std::nullopt;
    }
    std::string content;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
        if (got == 0) {
            return content;
        }
        content.append(chunk, got);
    }
    return std::nullopt;
}

// A read-only target is refused, not replaced; the new file keeps the old one's attributes (a
// hidden file stays hidden).
bool FileSystemWin32::ReplaceWholeFile(const std::string& path, const std::string& content) {
    const std::wstring target = Wide(path);
    const DWORD old = GetFileAttributesW(target.c_str());
    if (old != INVALID_FILE_ATTRIBUTES &&
        (old & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD kept = old == INVALID_FILE_ATTRIBUTES ? 0 : old & kKept;
    const std::wstring temporary = TemporarySibling(target);
    DeleteFileW(temporary.c_str());  // one of an earlier run with this process id
    {
        FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    kept ? kept : FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return false;
        }
        bool written = true;
        for (std::size_t at = 0; written && at < content.size();) {
            const DWORD part = static_cast<DWORD>(
                std::min<std::size_t>(content.size() - at, std::numeric_limits<DWORD>::max() / 2));
            DWORD done = 0;
            written = WriteFile(file.get(), content.data() + at, part, &done, nullptr) && done > 0;
            at += done;
        }
        if (!written || !FlushFileBuffers(file.get())) {
            file.reset();
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    return MoveIntoPlace(temporary, target);
}

// A run removes its own temporary file on every path but its end. The file of a process that
// still runs (or of one that took over the id of an ended one) stays until a later start.
void FileSystemWin32::RemoveLeftoverTemporaries(const std::string& folder) {
    const std::string base =
        !folder.empty() && folder.back() != '\\' && folder.back() != '/' ? folder + "\\" : folder;
    for (const std::string& name : Search(base + "*.tmp", SearchFilter::AnyFile)) {
        const std::optional<DWORD> owner = TemporaryOwner(name);
        if (owner && *owner != GetCurrentProcessId() && !ProcessRuns(*owner)) {
            DeleteFileW(Wide(base + name).c_str());
        }
    }
}

std::wstring TemporarySibling(const std::wstring& path) {
    return path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
}

bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& path) {
    if (RetriedWhileHeld(Held::SharedOrDenied, [&] {
            return MoveFileExW(temporary.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        })) {
        return true;
    }
    DeleteFileW(temporary.c_str());
    return false;
}

std::wstring ModulePath() {
    // Paths beyond MAX_PATH are possible; the buffer grows until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            ThrowLastError("module path", "");
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        if (buffer.size() >= 32768) {
            throw PlatformError("module path", "", PlatformError::Cause::Other, "too long");
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer;
}

}  // namespace ruvello
