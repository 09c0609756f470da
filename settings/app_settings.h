#pragma once

#include <cstdint>
#include <string>

namespace ruvello {

// The seven user settings, named as their keys in config.ini.
struct AppSettings {
    std::int32_t IntervalSeconds = 60;
    std::int32_t MaxImageCount = 500;
    bool UseMaxCount = true;
    bool UseMaxSize = true;
    std::int32_t MaxTotalSizeMB = 500;
    std::string ScreenshotFolder;  // ends in the platform's separator
    bool ShowFlash = true;
};

// The largest interval whose millisecond form is a positive signed 32-bit number.
inline constexpr std::int32_t kMaxIntervalSeconds = 2'147'483;

}  // namespace ruvello
