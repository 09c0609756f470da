#pragma once

#include "platform/clock.h"

namespace ruvello {

class PosixClock : public Clock {
  public:
    std::uint32_t TickCount() override;
    LocalDateTime LocalNow() override;
    double Seconds() override;
};

}  // namespace ruvello
