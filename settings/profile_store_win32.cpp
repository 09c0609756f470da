#include "settings/profile_store_win32.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/text_win32.h"
#include "settings/ini_file_store.h"

namespace ruvello {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

enum class Encoding {
    Utf8,        // with a mark, or valid UTF-8 beyond ASCII; IniLookup skips the mark
    Utf16Le,     // with its mark
    Utf16Be,     // with its mark
    AnsiOrAscii  // no mark, and not UTF-8 beyond ASCII
};

bool IsAscii(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool IsUtf8(std::string_view bytes) {
    return bytes.size() <= 0x7FFFFFFF &&
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                               static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

Encoding EncodingOf(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        return Encoding::Utf8;
    }
    if (bytes.substr(0, kUtf16LeMark.size()) == kUtf16LeMark) {
        return Encoding::Utf16Le;
    }
    if (bytes.substr(0, kUtf16BeMark.size()) == kUtf16BeMark) {
        return Encoding::Utf16Be;
    }
    return !IsAscii(bytes) && IsUtf8(bytes) ? Encoding::Utf8 : Encoding::AnsiOrAscii;
}

// The text after the mark; an odd last byte is no character.
std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    for (std::size_t at = kUtf16LeMark.size(); at + 1 < bytes.size(); at += 2) {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto second = static_cast<unsigned char>(bytes[at + 1]);
        units.push_back(bigEndian ? static_cast<char16_t>((first << 8) | second)
                                  : static_cast<char16_t>((second << 8) | first));
    }
    return Utf16ToUtf8(units);
}

std::string ToUtf16(std::string_view text, bool bigEndian) {
    std::string bytes(bigEndian ? kUtf16BeMark : kUtf16LeMark);
    for (const char16_t unit : Utf8ToUtf16(text)) {
        const auto high = static_cast<char>(unit >> 8);
        const auto low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// The whole file as UTF-8 text (a UTF-8 mark stays, IniLookup and IniUpdate step over it).
std::string AsUtf8(std::string_view bytes, Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf8:
            return std::string(bytes);
        case Encoding::Utf16Le:
        case Encoding::Utf16Be:
            return FromUtf16(bytes, encoding == Encoding::Utf16Be);
        case Encoding::AnsiOrAscii:
            break;
    }
    return FromAnsi(bytes);
}

// The file's new bytes with `key` set to `value`, in the file's encoding where it can spell
// them. An ANSI file is changed in its bytes, so that every other line keeps them.
std::string Updated(const std::string& bytes, const std::string& section, const std::string& key,
                    const std::string& value) {
    const Encoding encoding = EncodingOf(bytes);
    if (encoding == Encoding::AnsiOrAscii) {
        const auto ansiSection = ToAnsi(section);
        const auto ansiKey = ToAnsi(key);
        const auto ansiValue = ToAnsi(value);
        if (ansiSection && ansiKey && ansiValue) {
            return IniUpdate(bytes, *ansiSection, *ansiKey, *ansiValue);
        }
    }
    const std::string text = IniUpdate(AsUtf8(bytes, encoding), section, key, value);
    if (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be) {
        return ToUtf16(text, encoding == Encoding::Utf16Be);
    }
    return text;
}

}  // namespace

std::string ProfileStoreWin32::ReadString(const std::string& path, const std::string& section,
                                          const std::string& key, const std::string& defaultText) {
    const std::optional<std::string> bytes = fs_.ReadWholeFile(path);
    if (!bytes) {
        return defaultText;
    }
    return IniLookup(AsUtf8(*bytes, EncodingOf(*bytes)), section, key, defaultText);
}

void ProfileStoreWin32::WriteString(const std::string& path, const std::string& section,
                                    const std::string& key, const std::string& value) {
    // A line break would end the value early and could smuggle other keys into the file.
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return;
    }
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A read-only file is the user's "do not change" (Wine would let root write it anyway).
    if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return;
    }
    const std::optional<std::string> bytes = fs_.ReadWholeFile(path);
    if (!bytes && exists) {
        return;  // present but unreadable: never overwrite what could not be read
    }
    fs_.ReplaceWholeFile(path, Updated(bytes.value_or(std::string()), section, key, value));
}

}  // namespace ruvello
