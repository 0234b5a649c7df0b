// The path to a host, traced hop by hop with one echo request per time-to-live (hop limit), and the log
// entry that shows it. Runs on the calling thread over the same outside world as a ping, so it works
// through whichever socket the engine opens.
#pragma once

#include "engine/HostAddress.h"
#include "engine/PingRun.h"
#include "engine/StopSignal.h"

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace tevro {

struct TraceLimits {
    int maxHops = 30;
    int hopTimeOutMs = 1000;
    int silentHopsToStop = 3; // in a row
};

struct TraceHop {
    enum class Kind { Silent, TimeExceeded, Reply, Error };
    int number = 0; // the time-to-live (hop limit) the request left with
    Kind kind = Kind::Silent;
    HostAddress from;      // who answered, unless Silent
    int replyMs = 0;       // unless Silent
    std::uint8_t type = 0; // the ICMP (ICMPv6) error, for Error
    std::uint8_t code = 0;
    std::string name; // reverse name of `from`, when it was found within the trace's time
};

struct TraceResult {
    enum class End {
        Reached,     // the host answered
        Error,       // an ICMP error other than time exceeded
        Silence,     // silentHopsToStop hops in a row did not answer
        HopLimit,    // maxHops hops without reaching the host
        Stopped,     // a stop request: the host's next round began
        NoAddress,   // the name could not be resolved
        SocketFailed // a socket could not be opened, or sending or receiving failed
    };
    QString host; // as the entry names it
    IpFamily family = IpFamily::V4;
    End end = End::Stopped;
    std::vector<TraceHop> hops;
    QString problem; // for NoAddress and SocketFailed
};

// Traces the path to host (a name, an IPv4 address, or an IPv6 address with or without brackets).
// Reverse names of the hops are looked up beside the probes and dropped when not found by the end.
TraceResult TracePath(const QString& host, const PingEnvironment& environment, const StopSignal& stop,
                      const TraceLimits& limits = {});

// The informational entry: "Path to <host> when it stopped answering:", a line per hop, and a closing
// line naming the last hop that answered; the lines after the first begin with a tab.
QString TraceReport(const TraceResult& result);
// "Last answering hop: 3 (10.0.0.1)", or "No hop answered".
QString LastAnsweringHop(const TraceResult& result);
// "network unreachable (ICMP type 3, code 0)".
QString IcmpErrorText(IpFamily family, std::uint8_t type, std::uint8_t code);

} // namespace tevro
