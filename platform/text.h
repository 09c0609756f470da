#pragma once

#include <string>
#include <string_view>

// Small text helpers over UTF-8, the encoding of every string in the core.

namespace ruvello {

// Without the space characters at both ends (only U+0020, as the settings rules say).
std::string_view TrimSpaces(std::string_view text);
// Without spaces and tabs at both ends: the blanks that a profile file drops around names and
// values.
std::string_view TrimBlanks(std::string_view text);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix);
// The first `count` characters (code points) of `text`, never splitting one.
std::string_view FirstCharacters(std::string_view text, std::size_t count);
// `text` cut to at most `bytes` bytes, backing off to the start of a character.
std::string_view FirstBytesWhole(std::string_view text, std::size_t bytes);
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace ruvello
