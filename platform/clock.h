#pragma once

#include <cstdint>

#include "platform/local_date_time.h"

namespace ruvello {

class Clock {
  public:
    virtual ~Clock() = default;

    // The system's millisecond counter; wraps to 0 after 2^32 ms.
    virtual std::uint32_t TickCount() = 0;
    virtual LocalDateTime LocalNow() = 0;
    // Seconds with a fractional part, for short waits; may be any origin.
    virtual double Seconds() = 0;
};

}  // namespace ruvello
