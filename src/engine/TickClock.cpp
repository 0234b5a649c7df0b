// Monotonic milliseconds and microseconds: unaffected by changes of the wall clock during a ping.
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
    std::int64_t NowUs() override {
        using namespace std::chrono;
        return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    }
};
} // namespace

std::shared_ptr<TickClock> SystemTickClock() {
    static const auto clock = std::make_shared<MonotonicTickClock>();
    return clock;
}

} // namespace tevro
