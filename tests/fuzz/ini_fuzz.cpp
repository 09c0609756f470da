// Random config files and random writes: the store never crashes or hangs, reads back what it
// wrote, touches no other key and no other file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/text.h"
#include "settings/ini_file_store.h"

namespace {

using ruvello::IniLookup;
using ruvello::IniUpdate;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A name the profile rules can find again: no line break, no "=", "]" or leading "[" or ";",
// no blanks at its ends.
bool Findable(const std::string& name) {
    return !name.empty() && name.find_first_of(std::string("\r\n=]\0", 5)) == std::string::npos &&
           name.front() != '[' && name.front() != ';' && ruvello::TrimBlanks(name) == name;
}

// Takes a piece of the input up to a 0x01 byte.
std::string Take(const std::uint8_t*& data, std::size_t& size) {
    std::string piece;
    while (size > 0) {
        const char c = static_cast<char>(*data++);
        --size;
        if (c == '\x01') {
            break;
        }
        piece += c;
    }
    return piece;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string section = Take(data, size);
    const std::string key = Take(data, size);
    const std::string other = Take(data, size);
    const std::string value = Take(data, size);
    const std::string content(reinterpret_cast<const char*>(data), size);

    const std::string before = IniLookup(content, section, other, "\x02");
    Require(before.size() <= ruvello::IniFileStore::kMaxValueBytes || before == "\x02");
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        return 0;  // the store refuses such values
    }
    const std::string updated = IniUpdate(content, section, key, value);
    if (Findable(section) && Findable(key)) {
        const std::string expected(ruvello::FirstBytesWhole(ruvello::TrimBlanks(value),
                                                            ruvello::IniFileStore::kMaxValueBytes));
        Require(IniLookup(updated, section, key, "\x02") == expected);
        if (Findable(other) && !ruvello::EqualsIgnoringAsciiCase(other, key)) {
            Require(IniLookup(updated, section, other, "\x02") == before);
        }
    }
    return 0;
}
