#pragma once

#include <optional>
#include <string>
#include <string_view>

// Conversions between the core's UTF-8 and the encodings of the Windows API.

namespace ruvello {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
// The text in the ANSI code page, or nothing when a character has no exact form there (a
// best-fit or default character would change the text).
std::optional<std::string> ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);

}  // namespace ruvello
