#include "platform/text_win32.h"

#include <windows.h>

#include <limits>

namespace ruvello {
namespace {

int Length(std::size_t size) {
    return size > static_cast<std::size_t>(std::numeric_limits<int>::max())
               ? std::numeric_limits<int>::max()
               : static_cast<int>(size);
}

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int needed =
        MultiByteToWideChar(codePage, 0, text.data(), Length(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), Length(text.size()), wide.data(), needed);
    }
    return wide;
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), Length(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string text(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), Length(wide.size()), text.data(), needed,
                            nullptr, nullptr);
    }
    return text;
}

std::optional<std::string> ToAnsi(std::string_view utf8) {
    // A system whose ANSI code page is UTF-8 takes every text as it is (and refuses the
    // default-character query below).
    if (GetACP() == CP_UTF8 || utf8.empty()) {
        return std::string(utf8);
    }
    const std::wstring wide = Wide(utf8);
    BOOL usedDefault = FALSE;
    const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                           Length(wide.size()), nullptr, 0, nullptr, &usedDefault);
    if (needed <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string ansi(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), Length(wide.size()), ansi.data(),
                        needed, nullptr, nullptr);
    return ansi;
}

std::string FromAnsi(std::string_view ansi) {
    return Utf8(ToWide(CP_ACP, ansi));
}

}  // namespace ruvello
