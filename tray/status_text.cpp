#include "tray/status_text.h"

#include <cmath>

#include "platform/text.h"

namespace ruvello {

// Built by appending: GCC 12 warns falsely (-Wrestrict) on a literal + std::string at -O3.
std::string FormatMegabytes(double sizeMB, const std::string& decimalSeparator) {
    const auto tenths = static_cast<long long>(std::llround(sizeMB * 10));
    const long long whole = tenths / 10;
    const long long fraction = tenths % 10;
    std::string text = tenths < 0 && whole == 0 ? "-" : "";
    text.append(std::to_string(whole)).append(decimalSeparator);
    return text.append(std::to_string(fraction < 0 ? -fraction : fraction));
}

std::string CountCaption(std::int32_t imageCount) {
    std::string caption = "Bilder: ";
    return caption.append(std::to_string(imageCount));
}

std::string SizeCaption(const std::string& sizeWord, const std::string& megabytes) {
    std::string caption = sizeWord;
    return caption.append(": ").append(megabytes).append(" MB");
}

std::string TooltipText(const std::string& appTitle, const std::string& sizeWord,
                        std::int32_t imageCount, const std::string& megabytes) {
    std::string text = appTitle;
    text.append(" - Bilder: ").append(std::to_string(imageCount)).append(" | ");
    text.append(sizeWord).append(": ").append(megabytes).append(" MB");
    return std::string(FirstCharacters(text, kMaxTooltipCharacters));
}

}  // namespace ruvello
