// A small ICMP (or ICMPv6) echo responder of the tests' own: it answers echo requests in a namespace
// whose kernel echo is switched off, late, wrongly or with ICMP errors, as a policy decides per request.
#pragma once

#include "IcmpPackets.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tevro::testing {

class NetNamespace;

class IcmpResponder {
public:
    struct Request {
        Bytes packet;            // the whole IPv4 datagram; for ICMPv6 the bare message
        HostAddress source;      // the requester
        HostAddress destination; // the address it was sent to
        std::uint8_t ttl = 0;    // as received (hop limit)
        std::uint16_t sequence = 0;
        int index = 0; // 0 for the first request seen
    };
    struct Answer {
        int delayMs = 0;
        Bytes icmp; // sent back to the request's source
        int ttl = 64;
    };
    using Policy = std::function<std::vector<Answer>(const Request&)>;

    // Policies.
    static Policy Echo(int delayMs);                           // a proper reply after delayMs
    static Policy Silent();                                    // count, never answer
    static Policy Error(std::uint8_t type, std::uint8_t code); // an ICMP error quoting the request

    IcmpResponder() = default;
    ~IcmpResponder();
    IcmpResponder(const IcmpResponder&) = delete;
    IcmpResponder& operator=(const IcmpResponder&) = delete;

    // Opens its raw socket inside ns (or where the calling thread is, for nullptr) and starts answering.
    bool Start(Policy policy, const NetNamespace* ns, std::string* error, IpFamily family = IpFamily::V4);
    void Stop();

    int RequestsSeen() const { return m_seen.load(); }
    std::vector<Request> Requests() const;

private:
    void Serve();
    bool ReadRequest(Request& r);

    Policy m_policy;
    IpFamily m_family = IpFamily::V4;
    int m_socket = -1;
    int m_stopFd = -1;
    std::thread m_thread;
    std::atomic<int> m_seen{0};
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
};

} // namespace tevro::testing
