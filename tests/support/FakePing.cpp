// The scripted socket layer behind FakePing.h.
#include "FakePing.h"

#include "engine/IcmpEcho.h"

#include <cerrno>
#include <poll.h>

namespace tevro::testing {

HostLookup FakeResolver::ByName(const std::string& name, const StopSignal&) {
    const auto it = names.find(name);
    if (it == names.end())
        return {failure, {}, {}};
    return {0, it->second, {}};
}

std::optional<std::string> FakeResolver::ByAddress(const HostAddress& address, const StopSignal&) {
    const auto it = reverse.find(AddressText(address));
    if (it == reverse.end())
        return std::nullopt;
    return it->second;
}

namespace {

FakeEvent PacketEvent(std::uint32_t afterMs, std::function<Bytes(const SentEcho&)> build) {
    FakeEvent e;
    e.kind = FakeEvent::Kind::Packet;
    e.afterMs = afterMs;
    e.build = std::move(build);
    return e;
}

} // namespace

FakeEvent ReplyWith(std::uint32_t afterMs, std::function<void(Bytes&)> modify, std::uint8_t ttl) {
    FakeEvent e = PacketEvent(afterMs, [modify = std::move(modify), ttl](const SentEcho& sent) {
        Bytes reply = EchoReplyFor(sent.icmp);
        if (modify)
            modify(reply);
        if (sent.destination.family == IpFamily::V6)
            return reply;
        return Ipv4Packet(sent.destination.Ipv4(), Address("192.0.2.99"), ttl, reply);
    });
    e.hopLimit = ttl;
    return e;
}

FakeEvent Reply(std::uint32_t afterMs, std::uint8_t ttl) {
    return ReplyWith(afterMs, nullptr, ttl);
}

FakeEvent ReplyFrom(std::uint32_t afterMs, const HostAddress& source) {
    FakeEvent e = Reply(afterMs);
    e.source = source;
    e.build = [source](const SentEcho& sent) {
        if (source.family == IpFamily::V6)
            return EchoReplyFor(sent.icmp);
        return Ipv4Packet(source.Ipv4(), Address("192.0.2.99"), 52, EchoReplyFor(sent.icmp));
    };
    return e;
}

FakeEvent IcmpError(std::uint32_t afterMs, std::uint8_t type, std::uint8_t code) {
    FakeEvent e = PacketEvent(afterMs, [type, code](const SentEcho& sent) {
        if (sent.destination.family == IpFamily::V6)
            return Icmp6ErrorFor(type, code, Ip("fd00::99"), sent.destination, sent.icmp);
        const Bytes original = Ipv4Packet(Address("192.0.2.99"), sent.destination.Ipv4(), 1, sent.icmp);
        return Ipv4Packet(Address("198.51.100.1"), Address("192.0.2.99"), 250,
                          IcmpErrorFor(type, code, original));
    });
    e.source = Ip("198.51.100.1");
    return e;
}

FakeEvent DatagramReply(std::uint32_t afterMs, int ttl) {
    FakeEvent e = PacketEvent(afterMs, [](const SentEcho& sent) {
        Bytes reply = EchoReplyFor(sent.icmp);
        Put16(reply, 4, 0xBEEF); // the kernel's identifier
        Rechecksum(reply);
        return reply;
    });
    e.ttl = ttl;
    return e;
}

FakeEvent TimeOutEvent() {
    return {};
}

FakeEvent ReceiveError(int error) {
    FakeEvent e;
    e.kind = FakeEvent::Kind::Error;
    e.error = error;
    return e;
}

FakeEvent BlockUntilStopped() {
    FakeEvent e;
    e.kind = FakeEvent::Kind::WaitForStop;
    return e;
}

class FakeIcmpSocket final : public IcmpSocket {
public:
    explicit FakeIcmpSocket(FakeNetwork& network) : m_net(network) { m_net.socketOpen = true; }
    ~FakeIcmpSocket() override {
        m_net.socketOpen = false;
        ++m_net.socketsClosed;
    }

    int Handle() const override { return 7; }
    IcmpSocketKind Kind() const override { return m_net.kind; }

    SendOutcome Send(std::span<const std::uint8_t> message, const HostAddress& destination) override {
        std::lock_guard lock(m_net.m_mutex);
        m_net.sent.push_back({Bytes(message.begin(), message.end()), destination});
        if (m_net.tries.empty()) {
            m_current = Unanswered();
        } else {
            m_current = std::move(m_net.tries.front());
            m_net.tries.pop_front();
        }
        m_next = 0;
        return m_current.send;
    }

    ReceiveOutcome Receive(std::span<std::uint8_t> buffer, int waitMs, const StopSignal& stop) override {
        FakeEvent event;
        SentEcho sent;
        {
            std::lock_guard lock(m_net.m_mutex);
            m_net.receiveWaits.push_back(waitMs);
            if (m_next < m_current.events.size())
                event = m_current.events[m_next++];
            sent = m_net.sent.back();
        }
        switch (event.kind) {
        case FakeEvent::Kind::TimeOut:
            m_net.m_clock->Advance(static_cast<std::uint32_t>(waitMs));
            return {IoStatus::TimedOut, EAGAIN};
        case FakeEvent::Kind::Error:
            return {IoStatus::Failed, event.error};
        case FakeEvent::Kind::WaitForStop: {
            // Really blocks, like a socket with nothing to read, until the stop request.
            if (m_net.onBlocked)
                m_net.onBlocked();
            while (stop.Wait(-1, POLLIN, 60000).wake != StopSignal::Wake::Stopped) {
            }
            return {IoStatus::Stopped};
        }
        case FakeEvent::Kind::Packet:
            break;
        }
        m_net.m_clock->Advance(event.afterMs);
        m_net.m_clock->AdvanceUs(event.afterUs);
        const Bytes bytes = event.build(sent);
        const std::size_t n = std::min(bytes.size(), buffer.size());
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), buffer.begin());
        const bool v6 = sent.destination.family == IpFamily::V6;
        return {IoStatus::Done, 0, n, v6 && event.ttl < 0 ? event.hopLimit : event.ttl,
                event.source.value_or(sent.destination)};
    }

private:
    FakeNetwork& m_net;
    FakeTry m_current;
    std::size_t m_next = 0;
};

OpenOutcome FakeNetwork::Open(IpFamily family, int timeOutMs, int ttl) {
    openedFamilies.push_back(family);
    openedTimeOut = timeOutMs;
    openedTtl = ttl;
    OpenOutcome out;
    out.failure = failure;
    out.error = error;
    out.permissionDenied = permissionDenied;
    if (failure == OpenOutcome::Failure::Option) {
        out.handle = 7;
        out.level = "SOL_SOCKET";
        out.option = "SO_RCVTIMEO";
        out.value = timeOutMs;
        out.length = 16;
    }
    if (failure == OpenOutcome::Failure::None)
        out.socket = std::make_unique<FakeIcmpSocket>(*this);
    return out;
}

PingEnvironment FakeWorld::Environment(std::uint16_t identifier) const {
    PingEnvironment env;
    env.library = library;
    env.network = network;
    env.resolver = resolver;
    env.clock = clock;
    env.identifier = identifier;
    env.helperPath = QStringLiteral("/opt/tevro/libexec/tevro/tevro-ping");
    env.groupId = 1000;
    return env;
}

} // namespace tevro::testing
