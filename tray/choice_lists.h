#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ruvello {

inline constexpr std::string_view kCountChoices = "25,50,100,250,500,750,1000,1500";
inline constexpr std::string_view kSizeChoices = "50,100,500,750,1000,1500";
inline constexpr std::string_view kIntervalCaptions =
    "5 Sek.,10 Sek.,15 Sek.,30 Sek.,1 Min.,2 Min.,5 Min.,10 Min.,15 Min.,20 Min.,30 Min.";
inline constexpr std::string_view kIntervalChoices = "5,10,15,30,60,120,300,600,900,1200,1800";

// Comma-separated lists, each part without its surrounding spaces. A part that is not a decimal
// number of the element type is a failure (std::invalid_argument).
std::vector<std::int16_t> ParseIntegerList(std::string_view text);
std::vector<std::int32_t> ParseLongList(std::string_view text);
std::vector<std::string> ParseTextList(std::string_view text);

}  // namespace ruvello
