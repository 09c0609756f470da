#pragma once

#include "platform/locale_info.h"

namespace ruvello {

class QtLocaleInfo : public LocaleInfo {
  public:
    std::string DecimalSeparator() override;
    std::string BooleanWord(bool value) override;
};

}  // namespace ruvello
