#pragma once

#include "platform/clock.h"

namespace ruvello {

class ClockWin32 : public Clock {
  public:
    ClockWin32();

    std::uint32_t TickCount() override;
    LocalDateTime LocalNow() override;
    double Seconds() override;

  private:
    double ticksPerSecond_;
};

}  // namespace ruvello
