// Random texts for the number, word and list parsers: no crash, no hang, numbers always usable.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "settings/value_parsing.h"
#include "tray/choice_lists.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

template <class Parse>
void ListRoundTrip(const std::string& text, Parse parse) {
    try {
        const auto values = parse(text);
        std::string joined;
        for (const auto& v : values) {
            joined += (joined.empty() ? "" : ",") + std::to_string(v);
        }
        Require(parse(joined) == values);
    } catch (const std::invalid_argument&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Require(ruvello::ParseLongOrDefault(text, 60) > 0);
    Require(ruvello::ParseLongOrDefault(text, -1) != 0);
    const bool word = ruvello::ParseBool(text, true);
    Require(word == ruvello::ParseBool(text, false) || word);
    ListRoundTrip(text, ruvello::ParseIntegerList);
    ListRoundTrip(text, ruvello::ParseLongList);
    try {
        Require(!ruvello::ParseTextList(text).empty());
    } catch (const std::invalid_argument&) {
        Require(false);  // any text is a text list
    }
    return 0;
}
