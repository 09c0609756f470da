#include "platform/shot_timer_qt.h"

namespace ruvello {

QtShotTimer::QtShotTimer(std::function<void()> onTick) {
    // A coarse timer lets the system bundle the wake-ups; half a second needs no more precision.
    timer_.setTimerType(Qt::CoarseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [tick = std::move(onTick)] { tick(); });
}

void QtShotTimer::SetEnabled(bool enabled) {
    if (enabled) {
        timer_.start();
    } else {
        timer_.stop();
    }
}

}  // namespace ruvello
