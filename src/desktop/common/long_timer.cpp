#include "desktop/common/long_timer.h"

#include <algorithm>

namespace velmora {

LongTimer::LongTimer(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &LongTimer::OnStep);
}

void LongTimer::Start(std::uint64_t intervalMs) {
    interval_ = intervalMs;
    remaining_ = intervalMs;
    ArmNextStep();
}

void LongTimer::Stop() {
    timer_.stop();
}

void LongTimer::ArmNextStep() {
    const auto step = static_cast<int>(std::min<std::uint64_t>(remaining_, stepLimit_));
    remaining_ -= static_cast<std::uint64_t>(step);
    timer_.start(step);
    emit stepArmed(step);
}

void LongTimer::OnStep() {
    if (remaining_ > 0) {
        ArmNextStep();
        return;
    }
    remaining_ = interval_;
    ArmNextStep();
    emit timeout();
}

}  // namespace velmora
