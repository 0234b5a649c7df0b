// One ping run, synchronously: socket-library start-up, socket, name, Count tries and the report.
// Everything it touches outside itself comes through PingEnvironment, so tests script every path.
#pragma once

#include "engine/IcmpSocket.h"
#include "engine/Resolver.h"
#include "engine/SocketLibrary.h"
#include "engine/StopSignal.h"
#include "engine/TickClock.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class TPing;

// Result codes of a ping, shared with the scheduler, the result processing and the downtime table.
inline constexpr int PING_NONE = 0;        // no ping result: not run, or an informational entry
inline constexpr int VERSION_MISMATCH = 1; // the socket library is older than 2.1
inline constexpr int SOCKET_ERROR = 2;     // start-up, socket, option or name failed
inline constexpr int PING_FAILED = 3;      // no valid reply
inline constexpr int PING_SUCCESS = 4;     // at least one valid reply

namespace tevro {

// What a worker hands back. Informational log entries use Sender nullptr, PING_NONE and -1 statistics.
struct PingResult {
    TPing* Sender = nullptr;
    int ResultCode = PING_NONE;
    int MinTime = 0;    // ms
    int MaxTime = 0;    // ms
    int MeanTime = 0;   // ms
    int PacketLoss = 0; // percent
    QString Report;     // lines joined by "\r\n"; continuation lines begin with "\t"
    // The exact figures behind the whole milliseconds of the texts.
    std::int64_t MeanTimeUs = -1;        // -1: no reply, or a result from elsewhere that gives only ms
    std::vector<std::int64_t> RepliesUs; // each valid reply's round trip, in the order they came
    int Requests = 0;                    // echo requests the tries sent (or tried to send)
    std::optional<IpFamily> Family;      // the destination's, once the host was resolved
    // What the host text resolved to; none when it did not.
    std::optional<HostAddress> Address;
};

// A host row's parameters.
struct PingParams {
    QString Host;
    int TimeOut = 1000; // ms per try
    int DataSize = 32;  // data bytes per request
    int TTL = 32;       // outgoing time-to-live
    int Count = 3;      // tries
    // An address is looked up for its name, which the report shows.
    bool ReverseLookup = true;
};

// The outside world of a run.
struct PingEnvironment {
    std::shared_ptr<SocketLibrary> library;
    std::shared_ptr<IcmpNetwork> network;
    std::shared_ptr<Resolver> resolver;
    std::shared_ptr<TickClock> clock;
    std::uint16_t identifier = 0; // of our echo requests on a raw socket
    QString helperPath;           // the ping helper, named in the hint when pinging is not allowed
    unsigned groupId = 0;         // likewise

    // The real thing: POSIX sockets, getaddrinfo, the monotonic clock, this process.
    static PingEnvironment System();
};

// The text that points a user to the update when the socket library is too old.
QString VersionMismatchReport();

class PingRun {
public:
    PingRun(PingParams params, PingEnvironment environment);
    ~PingRun();
    PingRun(const PingRun&) = delete;
    PingRun& operator=(const PingRun&) = delete;

    // Starts the socket library; false (with the result filled in) when that failed or is too old.
    bool Startup();
    // The tries; does nothing unless Startup succeeded. stop ends it early, between or during tries.
    void Execute(const StopSignal& stop);
    // Closes the socket and releases the socket library. Idempotent.
    void Finish();

    const PingResult& Result() const { return m_result; }
    const PingParams& Params() const { return m_params; }

private:
    enum class TryEnd { Next, Leave, Stopped };
    bool OpenSocket(IpFamily family);
    // False, with the report, for a socket (or helper) that could not be made ready.
    bool Opened(const OpenOutcome& opened, IpFamily family);
    bool Resolve(const StopSignal& stop, HostAddress& destination, QString& header);
    TryEnd RunTry(std::span<std::uint8_t> request, std::span<std::uint8_t> reply,
                  const HostAddress& destination, std::uint16_t sequence, const StopSignal& stop,
                  int& validReplies, std::int64_t& sum, std::int64_t& sumUs);
    void Close(int validReplies, std::int64_t sum, std::int64_t sumUs);

    PingParams m_params;
    PingEnvironment m_env;
    PingResult m_result;
    std::unique_ptr<IcmpSocket> m_socket;
    bool m_started = false;
};

// Start-up, run and finish in one call, on the calling thread.
PingResult RunPing(const PingParams& params, const PingEnvironment& environment, const StopSignal& stop);

} // namespace tevro
