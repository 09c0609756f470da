#pragma once

#include <string>

namespace ruvello {

class LocaleInfo {
  public:
    virtual ~LocaleInfo() = default;

    // The user's decimal separator, e.g. "," under German settings.
    virtual std::string DecimalSeparator() = 0;
    // The locale's word for a boolean value ("true", "Wahr", ...); the core lower-cases it.
    virtual std::string BooleanWord(bool value) = 0;
};

}  // namespace ruvello
