// The check speaks just enough of the bus protocol to see a reply: the greeting with EXTERNAL
// authentication, then Hello. Sockets are non-blocking and every wait has the one deadline, so the
// check itself can never outlast its limit.
#include "desktop/SessionBus.h"

#include "common/Product.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tevro {
namespace {

using Clock = std::chrono::steady_clock;

// A unix socket of a bus address: a path, or a name in the abstract namespace.
struct UnixSocket {
    std::string name;
    bool abstract = false;
};

// Values in bus addresses are %-escaped.
std::string Unescape(const QString& value) {
    return QByteArray::fromPercentEncoding(value.toUtf8()).toStdString();
}

// The first unix transport of an address list such as "unix:path=/run/user/1000/bus,guid=...";
// nullopt when the list holds none this check can dial.
std::optional<UnixSocket> FirstUnixSocket(const QString& address) {
    for (const QString& entry : address.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!entry.startsWith(QStringLiteral("unix:")))
            continue;
        for (const QString& pair : entry.mid(5).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString key = pair.section(QLatin1Char('='), 0, 0);
            const QString value = pair.section(QLatin1Char('='), 1);
            if (key == QStringLiteral("path"))
                return UnixSocket{Unescape(value), false};
            if (key == QStringLiteral("abstract"))
                return UnixSocket{Unescape(value), true};
        }
    }
    return std::nullopt;
}

// Little-endian marshalling of the few types a Hello call needs.
class Wire {
public:
    void Pad(size_t alignment) {
        while (m_bytes.size() % alignment != 0)
            m_bytes.push_back('\0');
    }
    void Byte(char value) { m_bytes.push_back(value); }
    void U32(uint32_t value) {
        Pad(4);
        for (int shift = 0; shift < 32; shift += 8)
            m_bytes.push_back(static_cast<char>((value >> shift) & 0xFFU));
    }
    void String(const std::string& text) {
        U32(static_cast<uint32_t>(text.size()));
        m_bytes += text;
        m_bytes.push_back('\0');
    }
    // One header field: code, the variant's one-letter signature, then the string or object path.
    void Field(char code, char type, const std::string& value) {
        Pad(8);
        Byte(code);
        Byte(1);
        Byte(type);
        Byte('\0');
        String(value);
    }
    void SetU32At(size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            m_bytes[offset + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFFU);
    }
    std::string& Bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

std::string HelloMessage() {
    const std::string bus = "org.freedesktop.DBus";
    Wire wire;
    wire.Byte('l'); // little endian
    wire.Byte(1);   // method call
    wire.Byte(0);   // no flags
    wire.Byte(1);   // protocol version
    wire.U32(0);    // no body
    wire.U32(1);    // serial
    wire.U32(0);    // length of the header fields, set below
    wire.Field(1, 'o', "/org/freedesktop/DBus");
    wire.Field(6, 's', bus);
    wire.Field(2, 's', bus);
    wire.Field(3, 's', "Hello");
    wire.SetU32At(12, static_cast<uint32_t>(wire.Bytes().size() - 16));
    wire.Pad(8); // the header ends on an 8-byte boundary, where the (empty) body starts
    return wire.Bytes();
}

class Probe {
public:
    explicit Probe(Clock::time_point deadline) : m_deadline(deadline) {}
    ~Probe() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    SessionBusState Run(const UnixSocket& socket) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const size_t offset = socket.abstract ? 1 : 0;
        if (socket.name.empty() || socket.name.size() + offset >= sizeof(address.sun_path))
            return SessionBusState::Refused;
        std::memcpy(address.sun_path + offset, socket.name.data(), socket.name.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                                   socket.name.size() + (socket.abstract ? 0 : 1));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return SessionBusState::Refused;
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
            // A full backlog: the bus does not even take connections any more.
            if (errno == EAGAIN)
                return SessionBusState::Silent;
            if (errno != EINPROGRESS || !Wait(POLLOUT))
                return errno == ETIMEDOUT ? SessionBusState::Silent : SessionBusState::Refused;
        }

        std::string hexUid;
        for (const char digit : std::to_string(::getuid())) {
            static const char kHex[] = "0123456789abcdef";
            hexUid += kHex[(static_cast<unsigned char>(digit) >> 4) & 0xF];
            hexUid += kHex[static_cast<unsigned char>(digit) & 0xF];
        }
        // The leading NUL byte is where a client may pass its credentials; the kernel tells the bus.
        if (!Send(std::string(1, '\0') + "AUTH EXTERNAL " + hexUid + "\r\n"))
            return Outcome();
        std::string reply;
        while (reply.find("\r\n") == std::string::npos) {
            if (!Receive(reply))
                return Outcome();
        }
        // A bus that refuses the mechanism still answers: the library then fails at once, never waits.
        if (reply.rfind("OK ", 0) != 0)
            return SessionBusState::Answers;
        reply.clear();
        if (!Send("BEGIN\r\n" + HelloMessage()))
            return Outcome();
        constexpr size_t kFixedHeader = 16;
        while (reply.size() < kFixedHeader) {
            if (!Receive(reply))
                return Outcome();
        }
        return SessionBusState::Answers;
    }

private:
    // Why the last step failed: the deadline, or a bus that went away.
    SessionBusState Outcome() const {
        return m_timedOut ? SessionBusState::Silent : SessionBusState::Refused;
    }

    bool Wait(short events) {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
            if (left.count() <= 0) {
                m_timedOut = true;
                errno = ETIMEDOUT;
                return false;
            }
            pollfd entry{m_fd, events, 0};
            const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
    }

    bool Send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (!Wait(POLLOUT))
                return false;
        }
        return true;
    }

    bool Receive(std::string& into) {
        char buffer[256];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                into.append(buffer, static_cast<size_t>(n));
                return true;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return false;
            if (!Wait(POLLIN))
                return false;
        }
    }

    Clock::time_point m_deadline;
    int m_fd = -1;
    bool m_timedOut = false;
};

} // namespace

QString SessionBusAddress() {
    const QString configured = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!configured.isEmpty())
        return configured;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime.isEmpty() ? QString() : QDir(runtime).filePath(QStringLiteral("bus"));
    return !socket.isEmpty() && QFileInfo::exists(socket) ? QStringLiteral("unix:path=") + socket : QString();
}

SessionBusState CheckSessionBus(const QString& address, std::chrono::milliseconds limit) {
    if (address.isEmpty())
        return SessionBusState::None;
    const std::optional<UnixSocket> socket = FirstUnixSocket(address);
    if (!socket)
        return SessionBusState::Unchecked;
    SessionBusState state = SessionBusState::Silent;
    const Clock::time_point deadline = Clock::now() + limit;
    // Off the calling thread, which is or becomes the GUI thread; the probe keeps the deadline itself.
    std::thread worker([&] { state = Probe(deadline).Run(*socket); });
    worker.join();
    return state;
}

QString StartWithoutSilentSessionBus(std::chrono::milliseconds limit) {
    const QString address = SessionBusAddress();
    if (CheckSessionBus(address, limit) != SessionBusState::Silent)
        return {};
    // With a bus address of its own, Qt's AT-SPI bridge never asks the session bus; an address of an
    // unknown kind fails at once, so the bridge stays off. The session bus address goes the same way
    // for everything else: Qt's tray checks for a status-notifier host there, and child processes
    // (the browser, the editor) would wait for the silent bus as well.
    qputenv("AT_SPI_BUS_ADDRESS", "disabled:");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    return QStringLiteral("The session bus (%1) does not answer: %2 goes on without it, with no desktop "
                          "notifications and no accessibility bridge")
        .arg(address, QString::fromLatin1(kProductName));
}

} // namespace tevro
