#pragma once

#include "platform/locale_info.h"

namespace ruvello {

class LocaleInfoWin32 : public LocaleInfo {
  public:
    std::string DecimalSeparator() override;
    std::string BooleanWord(bool value) override;
};

}  // namespace ruvello
