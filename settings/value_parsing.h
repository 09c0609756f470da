#pragma once

#include <cstdint>
#include <string_view>

namespace ruvello {

// The number at the start of `text`, rounded half to even, when it is greater than 0; else
// `defaultValue`. Blanks, tabs and line feeds anywhere are skipped; "&H" and "&O" start hex and
// octal numbers; only "." separates a fraction. A number beyond the signed 32-bit range counts
// as the largest one.
std::int32_t ParseLongOrDefault(std::string_view text, std::int32_t defaultValue);

// true for "true", "wahr", "1", "ja", "yes", "on"; false for "false", "falsch", "0", "nein",
// "no", "off" (any case, spaces around them ignored); `defaultValue` for anything else.
bool ParseBool(std::string_view text, bool defaultValue);

}  // namespace ruvello
