#pragma once
// A repeating timer whose interval may exceed the toolkit's limit of about
// 24.8 days (a stored "Reread" of up to 71582 minutes): long intervals are
// waited out in steps.

#include <QObject>
#include <QTimer>
#include <cstdint>

namespace velmora {

class LongTimer : public QObject {
    Q_OBJECT
  public:
    explicit LongTimer(QObject* parent = nullptr);

    // Starting a running timer restarts it with the new interval.
    void Start(std::uint64_t intervalMs);
    void Stop();
    bool IsActive() const { return timer_.isActive(); }
    std::uint64_t IntervalMs() const { return interval_; }

    // The longest single wait; smaller in tests.
    void SetStepLimit(int ms) { stepLimit_ = ms; }

  signals:
    void timeout();
    // Each wait as it is armed: a long interval shows as several steps.
    void stepArmed(int ms);

  private:
    void ArmNextStep();
    void OnStep();

    QTimer timer_;
    std::uint64_t interval_ = 0;
    std::uint64_t remaining_ = 0;
    int stepLimit_ = 24 * 60 * 60 * 1000;  // a day: far below where timers misbehave
};

}  // namespace velmora
