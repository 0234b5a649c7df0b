// Socket options of the ICMP and ICMPv6 sockets, in the order they are set.
#include "engine/IcmpOptions.h"

#include <cerrno>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <vector>

namespace tevro {
namespace {

struct OptionStep {
    int level;
    int name;
    const void* value;
    socklen_t length;
    const char* levelText;
    const char* nameText;
    int shownValue;
};

} // namespace

bool ConfigureIcmpSocket(int fd, bool raw, IpFamily family, int timeOutMs, int ttl,
                         SocketOptionFailure& failure) {
    timeval tv{timeOutMs / 1000, static_cast<suseconds_t>(timeOutMs % 1000) * 1000};
    const int on = 1;
    std::vector<OptionStep> steps = {
        {SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv, "SOL_SOCKET", "SO_SNDTIMEO", timeOutMs},
        {SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv, "SOL_SOCKET", "SO_RCVTIMEO", timeOutMs},
    };
    // Let through only what can answer a try: echo reply, unreachable, time exceeded (and for ICMPv6
    // packet too big).
    icmp_filter filter{~((1U << 0) | (1U << 3) | (1U << 11))};
    icmp6_filter filter6{};
    ICMP6_FILTER_SETBLOCKALL(&filter6);
    for (const int type : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG, ICMP6_TIME_EXCEEDED})
        ICMP6_FILTER_SETPASS(type, &filter6);
    if (family == IpFamily::V6) {
        // No checksum option: for ICMPv6 the kernel computes it on either socket kind.
        steps.push_back(
            {IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl, "IPPROTO_IPV6", "IPV6_UNICAST_HOPS", ttl});
        steps.push_back(
            {IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on, "IPPROTO_IPV6", "IPV6_RECVHOPLIMIT", on});
        if (raw)
            steps.push_back({IPPROTO_ICMPV6, ICMP6_FILTER, &filter6, sizeof filter6, "IPPROTO_ICMPV6",
                             "ICMP6_FILTER", static_cast<int>(filter6.icmp6_filt[0])});
        else
            steps.push_back({IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on, "IPPROTO_IPV6", "IPV6_RECVERR", on});
    } else {
        steps.push_back({IPPROTO_IP, IP_TTL, &ttl, sizeof ttl, "IPPROTO_IP", "IP_TTL", ttl});
        if (raw) {
            steps.push_back({SOL_RAW, ICMP_FILTER, &filter, sizeof filter, "SOL_RAW", "ICMP_FILTER",
                             static_cast<int>(filter.data)});
        } else {
            steps.push_back({IPPROTO_IP, IP_RECVTTL, &on, sizeof on, "IPPROTO_IP", "IP_RECVTTL", on});
            steps.push_back({IPPROTO_IP, IP_RECVERR, &on, sizeof on, "IPPROTO_IP", "IP_RECVERR", on});
        }
    }
    for (const OptionStep& step : steps) {
        if (::setsockopt(fd, step.level, step.name, step.value, step.length) != 0) {
            failure = {
                errno, fd, step.levelText, step.nameText, step.shownValue, static_cast<int>(step.length)};
            return false;
        }
    }
    return true;
}

msghdr ReceiveHeader(sockaddr_storage& from, iovec& buffer, char* control, std::size_t controlSize) {
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &buffer;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = controlSize;
    return msg;
}

} // namespace tevro
