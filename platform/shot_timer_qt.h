#pragma once

#include <QTimer>

#include <functional>

#include "platform/window_system.h"

namespace ruvello {

// tmrShot on a QTimer of the UI thread's event loop.
class QtShotTimer : public ShotTimer {
  public:
    explicit QtShotTimer(std::function<void()> onTick);
    void SetInterval(std::int32_t milliseconds) override { timer_.setInterval(milliseconds); }
    void SetEnabled(bool enabled) override;

  private:
    QTimer timer_;
};

}  // namespace ruvello
