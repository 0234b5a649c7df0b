// Monotonic millisecond ticks: unaffected by changes of the wall clock during a ping.
#include "engine/TickClock.h"

#include <chrono>

namespace tevro {
namespace {
class MonotonicTickClock final : public TickClock {
public:
    std::uint32_t NowMs() override {
        using namespace std::chrono;
        const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        return static_cast<std::uint32_t>(ms);
    }
};
} // namespace

std::shared_ptr<TickClock> SystemTickClock() {
    static const auto clock = std::make_shared<MonotonicTickClock>();
    return clock;
}

} // namespace tevro
