// The millisecond tick count that stamps requests and times replies. Abstract so tests can set the time.
#pragma once

#include <cstdint>
#include <memory>

namespace tevro {

class TickClock {
public:
    virtual ~TickClock() = default;
    // A 32-bit millisecond count that only moves forward (and wraps).
    virtual std::uint32_t NowMs() = 0;
};

// The system's monotonic clock; shared by every worker.
std::shared_ptr<TickClock> SystemTickClock();

} // namespace tevro
