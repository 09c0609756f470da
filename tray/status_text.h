#pragma once

#include <cstdint>
#include <string>

namespace ruvello {

inline constexpr std::size_t kMaxTooltipCharacters = 63;

// A size in megabytes with the pattern "0.0": one decimal, no grouping, the given separator.
std::string FormatMegabytes(double sizeMB, const std::string& decimalSeparator);

std::string CountCaption(std::int32_t imageCount);
std::string SizeCaption(const std::string& sizeWord, const std::string& megabytes);
// title - Bilder: n | Größe: x MB, cut to 63 characters.
std::string TooltipText(const std::string& appTitle, const std::string& sizeWord,
                        std::int32_t imageCount, const std::string& megabytes);

}  // namespace ruvello
