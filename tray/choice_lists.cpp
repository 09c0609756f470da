#include "tray/choice_lists.h"

#include <charconv>
#include <stdexcept>

#include "platform/text.h"

namespace ruvello {
namespace {

template <class Convert>
auto SplitAndConvert(std::string_view text, Convert convert) {
    std::vector<decltype(convert(text))> parts;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(convert(TrimSpaces(text.substr(start, comma - start))));
        if (comma == std::string_view::npos) {
            return parts;
        }
        start = comma + 1;
    }
}

template <class Integer>
Integer ToInteger(std::string_view part) {
    Integer value{};
    const char* first = part.data();
    const char* last = part.data() + part.size();
    if (!part.empty() && part.front() == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) {
        throw std::invalid_argument("not a number of the list's type: " + std::string(part));
    }
    return value;
}

}  // namespace

std::vector<std::int16_t> ParseIntegerList(std::string_view text) {
    return SplitAndConvert(text, ToInteger<std::int16_t>);
}

std::vector<std::int32_t> ParseLongList(std::string_view text) {
    return SplitAndConvert(text, ToInteger<std::int32_t>);
}

std::vector<std::string> ParseTextList(std::string_view text) {
    return SplitAndConvert(text, [](std::string_view part) { return std::string(part); });
}

}  // namespace ruvello
