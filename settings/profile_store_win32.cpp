#include "settings/profile_store_win32.h"

#include <windows.h>

#include <optional>

#include "platform/text_win32.h"

namespace ruvello {

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
    WritePrivateProfileStringA(ansiSection->c_str(), ansiKey->c_str(), ansiValue->c_str(),
                               ansiPath->c_str());
}

}  // namespace ruvello
