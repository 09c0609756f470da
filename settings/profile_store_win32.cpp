#include "settings/profile_store_win32.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_system_win32.h"
#include "platform/text_win32.h"

namespace ruvello {
namespace {

// A profile file as the profile API reads it: each section's name with its lines ("key=value",
// comments too), in order.
using Lines = std::vector<std::string>;
using Sections = std::vector<std::pair<std::string, Lines>>;

constexpr DWORD kLargestList = 64u << 20;

Lines SplitAtZeros(std::string_view list) {
    Lines lines;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find('\0', at), list.size());
        if (end > at) {
            lines.emplace_back(list.substr(at, end - at));
        }
        at = end + 1;
    }
    return lines;
}

// A list of zero-terminated texts from `get(buffer, size)`, which answers size - 2 when the
// buffer was too small; nothing for a list beyond any sensible profile.
template <class Get>
std::optional<Lines> ReadList(Get&& get) {
    for (DWORD size = 4096; size <= kLargestList; size *= 2) {
        std::string buffer(size, '\0');
        const DWORD got = get(buffer.data(), size);
        if (got + 2 < size) {
            return SplitAtZeros(std::string_view(buffer.data(), got));
        }
    }
    return std::nullopt;
}

std::optional<Sections> ReadAll(const std::string& path) {
    const auto names = ReadList([&](char* buffer, DWORD size) {
        return GetPrivateProfileSectionNamesA(buffer, size, path.c_str());
    });
    if (!names) {
        return std::nullopt;
    }
    Sections all;
    for (const std::string& name : *names) {
        auto lines = ReadList([&](char* buffer, DWORD size) {
            return GetPrivateProfileSectionA(name.c_str(), buffer, size, path.c_str());
        });
        if (!lines) {
            return std::nullopt;
        }
        all.emplace_back(name, std::move(*lines));
    }
    return all;
}

// The profile API keeps a parsed copy of a file; this makes its next call read the disk.
void ForgetCached(const std::string& path) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

bool SameName(std::string_view a, std::string_view b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// What a profile API reads after it stored `value`: the first such key of every section of that
// name (the API reads them all from the first) takes it; a missing key or section comes last.
void Store(Sections& all, const std::string& section, const std::string& key,
           std::string_view value) {
    value = TrimBlanks(value);
    bool found = false;
    for (auto& [name, lines] : all) {
        if (!SameName(name, section)) {
            continue;
        }
        found = true;
        bool replaced = false;
        for (std::string& line : lines) {
            const std::size_t equals = line.find('=');
            if (equals != std::string::npos && SameName(TrimBlanks(line.substr(0, equals)), key)) {
                line = line.substr(0, equals + 1) + std::string(value);
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            lines.push_back(key + "=" + std::string(value));
        }
    }
    if (!found) {
        all.emplace_back(section, Lines{key + "=" + std::string(value)});
    }
}

}  // namespace

std::string ProfileStoreWin32::ReadString(const std::string& path, const std::string& section,
                                          const std::string& key, const std::string& defaultText) {
    const auto ansiPath = ToAnsi(path);
    const auto ansiSection = ToAnsi(section);
    const auto ansiKey = ToAnsi(key);
    const auto ansiDefault = ToAnsi(defaultText);
    // A file or name the ANSI API cannot spell cannot hold the key.
    if (!ansiPath || !ansiSection || !ansiKey || !ansiDefault) {
        return defaultText;
    }
    char buffer[kBufferSize] = {};
    const DWORD count =
        GetPrivateProfileStringA(ansiSection->c_str(), ansiKey->c_str(), ansiDefault->c_str(),
                                 buffer, kBufferSize, ansiPath->c_str());
    return FromAnsi(std::string_view(buffer, count < kBufferSize ? count : kBufferSize - 1));
}

// The profile API rewrites the whole file in place, so a full disk or a failing write would cut
// it off (and it does not say so). It works on a copy instead, which replaces the file only when
// it reads back as the file with the one change.
void ProfileStoreWin32::WriteString(const std::string& path, const std::string& section,
                                    const std::string& key, const std::string& value) {
    const auto ansiPath = ToAnsi(path);
    const auto ansiSection = ToAnsi(section);
    const auto ansiKey = ToAnsi(key);
    const auto ansiValue = ToAnsi(value);
    // A mangled value (a folder name with "?" for a character) would be worse than none: the
    // key keeps what it had, or stays missing so that its default applies.
    if (!ansiPath || !ansiSection || !ansiKey || !ansiValue) {
        return;
    }
    const std::wstring target = Wide(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A read-only file is the user's "do not change" (and a copy would be read-only too).
    if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return;
    }
    const std::wstring temporary = TemporarySibling(target);
    // The path had an ANSI form and the sibling only adds ASCII, so this one has one as well.
    const std::string ansiTemporary = ToAnsi(Utf8(temporary)).value_or(std::string());
    if (ansiTemporary.empty()) {
        return;
    }
    DeleteFileW(temporary.c_str());
    // The copy keeps the file's attributes (a hidden file stays hidden).
    if (exists && !CopyFileW(target.c_str(), temporary.c_str(), FALSE)) {
        DeleteFileW(temporary.c_str());
        return;
    }
    ForgetCached(ansiTemporary);
    std::optional<Sections> expected = exists ? ReadAll(ansiTemporary) : Sections{};
    const bool written =
        expected && WritePrivateProfileStringA(ansiSection->c_str(), ansiKey->c_str(),
                                               ansiValue->c_str(), ansiTemporary.c_str());
    ForgetCached(ansiTemporary);
    const std::optional<Sections> stored = written ? ReadAll(ansiTemporary) : std::nullopt;
    ForgetCached(ansiTemporary);
    if (stored) {
        Store(*expected, *ansiSection, *ansiKey, *ansiValue);
    }
    if (!stored || *stored != *expected) {
        DeleteFileW(temporary.c_str());
        return;
    }
    MoveIntoPlace(temporary, target);
}

}  // namespace ruvello
