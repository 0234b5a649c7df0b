// The real clock: local time and the steady clock.
#include "monitor/Clock.h"

#include <chrono>

namespace tevro {

namespace {

class SystemClock final : public MonitorClock {
public:
    QDateTime LocalNow() const override { return QDateTime::currentDateTime(); }
    qint64 MonotonicMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace

MonitorClock& SystemMonitorClock() {
    static SystemClock clock;
    return clock;
}

} // namespace tevro
