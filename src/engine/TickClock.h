// The millisecond tick count that stamps requests, and the microseconds that time replies. Abstract so
// tests can set the time.
#pragma once

#include <cstdint>
#include <memory>

namespace tevro {

class TickClock {
public:
    virtual ~TickClock() = default;
    // A 32-bit millisecond count that only moves forward (and wraps).
    virtual std::uint32_t NowMs() = 0;
    // Microseconds of the same clock, never wrapping: a reply on a LAN takes well under a millisecond.
    virtual std::int64_t NowUs() = 0;
};

// The system's monotonic clock; shared by every worker.
std::shared_ptr<TickClock> SystemTickClock();

} // namespace tevro
