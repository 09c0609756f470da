#include "settings/value_parsing.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "platform/text.h"

namespace ruvello {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "&H1F" / "&O17": the digits of the given base up to the first one that does not fit.
double ReadRadix(std::string_view digits, int base) {
    double value = 0;
    for (const char c : digits) {
        const char lower = static_cast<char>(c | 0x20);
        const int digit = IsDigit(c)                       ? c - '0'
                          : (lower >= 'a' && lower <= 'f') ? lower - 'a' + 10
                                                           : 99;
        if (digit >= base) {
            break;
        }
        value = value * base + digit;
    }
    return value;
}

// Sign, digits, fraction and exponent, read up to the first character that does not fit.
double ReadDecimal(std::string_view text) {
    std::string number;
    std::size_t pos = 0;
    auto takeDigits = [&] {
        const std::size_t start = pos;
        while (pos < text.size() && IsDigit(text[pos])) {
            number += text[pos++];
        }
        return pos - start;
    };
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-') {
            number += '-';
        }
        ++pos;
    }
    std::size_t mantissaDigits = takeDigits();
    if (pos < text.size() && text[pos] == '.') {
        number += '.';
        ++pos;
        mantissaDigits += takeDigits();
    }
    if (mantissaDigits == 0) {
        return 0;
    }
    bool negativeExponent = false;
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        std::size_t look = pos + 1;
        if (look < text.size() && (text[look] == '+' || text[look] == '-')) {
            negativeExponent = text[look] == '-';
            ++look;
        }
        if (look < text.size() && IsDigit(text[look])) {
            number += 'e';
            number += negativeExponent ? "-" : "";
            pos = look;
            takeDigits();
        }
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        const double huge = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
        return number.front() == '-' ? -huge : huge;
    }
    return value;
}

// Blanks, tabs and line feeds are skipped wherever they stand.
std::string WithoutBlanks(std::string_view text) {
    std::string kept;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') {
            kept += c;
        }
    }
    return kept;
}

double ReadNumber(std::string_view text) {
    const std::string compact = WithoutBlanks(text);
    const std::string_view view(compact);
    if (view.size() >= 2 && view[0] == '&') {
        const char radix = static_cast<char>(view[1] | 0x20);
        if (radix == 'h') {
            return ReadRadix(view.substr(2), 16);
        }
        if (radix == 'o') {
            return ReadRadix(view.substr(2), 8);
        }
        return 0;
    }
    return ReadDecimal(view);
}

}  // namespace

std::int32_t ParseLongOrDefault(std::string_view text, std::int32_t defaultValue) {
    const double rounded = std::nearbyint(ReadNumber(TrimSpaces(text)));  // half to even
    if (!(rounded > 0)) {
        return defaultValue;
    }
    constexpr double kLargest = std::numeric_limits<std::int32_t>::max();
    return rounded >= kLargest ? std::numeric_limits<std::int32_t>::max()
                               : static_cast<std::int32_t>(rounded);
}

bool ParseBool(std::string_view text, bool defaultValue) {
    static constexpr std::array<std::pair<std::string_view, bool>, 12> kWords{{
        {"true", true},
        {"wahr", true},
        {"1", true},
        {"ja", true},
        {"yes", true},
        {"on", true},
        {"false", false},
        {"falsch", false},
        {"0", false},
        {"nein", false},
        {"no", false},
        {"off", false},
    }};
    const std::string word = AsciiLower(TrimSpaces(text));
    for (const auto& [candidate, value] : kWords) {
        if (word == candidate) {
            return value;
        }
    }
    return defaultValue;
}

}  // namespace ruvello
