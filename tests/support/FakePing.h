// A scripted outside world for the ping run and TPing: socket library, ICMP sockets, resolver and clock.
// Each try is scripted as a send outcome and a list of receive events; replies are built from the
// request actually sent, so their identifier, sequence and stamp are the real ones unless a test
// spoils them. The clock only moves when an event says so.
#pragma once

#include "IcmpPackets.h"
#include "engine/PingRun.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace tevro::testing {

class FakeClock final : public TickClock {
public:
    explicit FakeClock(std::uint32_t start = 1000) : m_start(start) {}
    std::uint32_t NowMs() override { return m_start + static_cast<std::uint32_t>(m_us.load() / 1000); }
    std::int64_t NowUs() override { return std::int64_t{m_start} * 1000 + m_us.load(); }
    void Advance(std::uint32_t ms) { m_us += std::int64_t{ms} * 1000; }
    void AdvanceUs(std::int64_t us) { m_us += us; }

private:
    const std::uint32_t m_start;
    std::atomic<std::int64_t> m_us{0}; // since the start
};

class FakeSocketLibrary final : public SocketLibrary {
public:
    bool fail = false;
    SocketVersion grant{2, 1};
    std::atomic<int> startups{0};
    std::atomic<int> cleanups{0};

    SocketLibraryStartup Startup(SocketVersion) override {
        if (fail)
            return {false, 10091, {}};
        ++startups;
        return {true, 0, grant};
    }
    void Cleanup() override { ++cleanups; }
};

class FakeResolver final : public Resolver {
public:
    std::map<std::string, HostAddress> names;
    std::map<std::string, std::string> reverse; // by address text
    int failure = -2;                           // EAI_NONAME

    HostLookup ByName(const std::string& name, const StopSignal& stop) override;
    std::optional<std::string> ByAddress(const HostAddress& address, const StopSignal& stop) override;
};

// What the fake socket saw sent in one try.
struct SentEcho {
    Bytes icmp; // as handed to the socket (for a ping socket, before the kernel's identifier)
    HostAddress destination;
};

// One thing a receive call returns.
struct FakeEvent {
    enum class Kind { Packet, TimeOut, Error, WaitForStop };
    Kind kind = Kind::TimeOut;
    std::uint32_t afterMs = 0; // the clock moves this far first
    std::int64_t afterUs = 0;  // and then this many microseconds more
    // For Packet: the bytes as the socket delivers them (with IPv4 header on an IPv4 raw socket).
    std::function<Bytes(const SentEcho&)> build;
    std::optional<HostAddress> source; // none: the destination
    int ttl = -1;                      // the ping socket's IP_RECVTTL
    int hopLimit = -1;                 // what an ICMPv6 socket reports when ttl is not set
    int error = 0;
};

struct FakeTry {
    SendOutcome send;
    std::vector<FakeEvent> events; // when they run out, the try times out
};

// Events, for a raw socket unless said otherwise; for an ICMPv6 try they are bare ICMPv6 messages.
FakeEvent Reply(std::uint32_t afterMs, std::uint8_t ttl = 52);
// A reply after modify has spoilt the echo reply (a bare ICMP message) in some way.
FakeEvent ReplyWith(std::uint32_t afterMs, std::function<void(Bytes&)> modify, std::uint8_t ttl = 52);
FakeEvent ReplyFrom(std::uint32_t afterMs, const HostAddress& source);
FakeEvent IcmpError(std::uint32_t afterMs, std::uint8_t type, std::uint8_t code = 0);
FakeEvent DatagramReply(std::uint32_t afterMs, int ttl);
FakeEvent TimeOutEvent();
FakeEvent ReceiveError(int error);
FakeEvent BlockUntilStopped();

inline FakeTry Answered(std::uint32_t ms, std::uint8_t ttl = 52) {
    return {{}, {Reply(ms, ttl)}};
}
inline FakeTry Unanswered() {
    return {{}, {}};
}

class FakeNetwork final : public IcmpNetwork {
public:
    explicit FakeNetwork(std::shared_ptr<FakeClock> clock) : m_clock(std::move(clock)) {}

    // Script, set before the run.
    OpenOutcome::Failure failure = OpenOutcome::Failure::None;
    int error = 0;
    bool permissionDenied = false;
    IcmpSocketKind kind = IcmpSocketKind::Raw;
    std::deque<FakeTry> tries; // tries beyond the script time out

    // Record.
    int openedTimeOut = -1;
    int openedTtl = -1;
    std::vector<IpFamily> openedFamilies;
    std::vector<SentEcho> sent;
    std::vector<int> receiveWaits; // the waitMs of every receive call
    std::atomic<bool> socketOpen{false};
    std::atomic<int> socketsClosed{0};
    // Called (on the worker's thread) when a receive starts blocking until the stop request.
    std::function<void()> onBlocked;

    OpenOutcome Open(IpFamily family, int timeOutMs, int ttl) override;

private:
    friend class FakeIcmpSocket;
    std::mutex m_mutex;
    std::shared_ptr<FakeClock> m_clock;
};

// Everything scripted, with handles to the parts.
struct FakeWorld {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeSocketLibrary> library = std::make_shared<FakeSocketLibrary>();
    std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>(clock);
    std::shared_ptr<FakeResolver> resolver = std::make_shared<FakeResolver>();

    PingEnvironment Environment(std::uint16_t identifier = 0x1234) const;
};

} // namespace tevro::testing
