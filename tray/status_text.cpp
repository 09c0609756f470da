#include "tray/status_text.h"

#include <cmath>

#include "platform/text.h"

namespace ruvello {

std::string FormatMegabytes(double sizeMB, const std::string& decimalSeparator) {
    const auto tenths = static_cast<long long>(std::llround(sizeMB * 10));
    const long long whole = tenths / 10;
    const long long fraction = tenths % 10;
    return (tenths < 0 && whole == 0 ? "-" : "") + std::to_string(whole) + decimalSeparator +
           std::to_string(fraction < 0 ? -fraction : fraction);
}

std::string CountCaption(std::int32_t imageCount) {
    return "Bilder: " + std::to_string(imageCount);
}

std::string SizeCaption(const std::string& sizeWord, const std::string& megabytes) {
    return sizeWord + ": " + megabytes + " MB";
}

std::string TooltipText(const std::string& appTitle, const std::string& sizeWord,
                        std::int32_t imageCount, const std::string& megabytes) {
    const std::string text = appTitle + " - Bilder: " + std::to_string(imageCount) + " | " +
                             sizeWord + ": " + megabytes + " MB";
    return std::string(FirstCharacters(text, kMaxTooltipCharacters));
}

}  // namespace ruvello
