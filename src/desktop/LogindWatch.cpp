#include "desktop/LogindWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tevro {
namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kBusDriver = QStringLiteral("org.freedesktop.DBus");
constexpr int kProbeMs = 1000;

// The system bus as libdbus finds it.
QString SystemBusAddress() {
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    return address.isEmpty() ? QStringLiteral("unix:path=/run/dbus/system_bus_socket") : address;
}

bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left.count()));
        if (n > 0)
            return (p.revents & events) != 0;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

} // namespace

bool BusAnswers(const QString& address, int timeoutMs) {
    // The first unix transport of the address list.
    QString path;
    bool abstract = false;
    for (const QString& entry : address.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!entry.startsWith(QStringLiteral("unix:")))
            return true;
        for (const QString& pair : entry.mid(5).split(QLatin1Char(','))) {
            if (pair.startsWith(QStringLiteral("path=")) || pair.startsWith(QStringLiteral("abstract="))) {
                abstract = pair.startsWith(QStringLiteral("abstract="));
                path = pair.mid(pair.indexOf(QLatin1Char('=')) + 1);
            }
        }
        break;
    }
    const QByteArray name = QByteArray::fromPercentEncoding(path.toUtf8());
    sockaddr_un peer{};
    if (name.isEmpty() || static_cast<std::size_t>(name.size()) + 1 >= sizeof peer.sun_path)
        return false;
    peer.sun_family = AF_UNIX;
    std::memcpy(peer.sun_path + (abstract ? 1 : 0), name.constData(), static_cast<std::size_t>(name.size()));
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) +
                                               name.size() + (abstract ? 0 : 1));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool answered = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), length) == 0 ||
        (errno == EINPROGRESS && WaitFor(fd, POLLOUT, deadline))) {
        // The authentication's first exchange: a bus that is alive answers "OK <guid>" or "REJECTED".
        const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " +
                                 QByteArray::number(static_cast<qulonglong>(::getuid())).toHex() + "\r\n";
        QByteArray reply;
        if (::send(fd, hello.constData(), static_cast<std::size_t>(hello.size()), MSG_NOSIGNAL) ==
            hello.size()) {
            while (!reply.contains('\n') && WaitFor(fd, POLLIN, deadline)) {
                char buffer[256];
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                reply.append(buffer, static_cast<qsizetype>(got));
            }
        }
        answered = reply.contains('\n');
    }
    ::close(fd);
    return answered;
}

// What the connecting thread and the watch share: the thread hands its result to the watch only while
// the watch still exists.
struct LogindWatch::Shared {
    std::mutex mutex;
    LogindWatch* watch = nullptr;
};

LogindWatch::LogindWatch(QObject* parent) : QObject(parent), m_shared(std::make_shared<Shared>()) {
    m_shared->watch = this;
}

LogindWatch::~LogindWatch() {
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->watch = nullptr;
    }
    if (!m_connection.isEmpty())
        QDBusConnection::disconnectFromBus(m_connection);
}

void LogindWatch::Start() {
    static std::atomic<int> watches{0};
    const QString name = QStringLiteral("tevro-logind-%1").arg(watches.fetch_add(1));
    // Detached: a bus that accepts and never answers would keep it; the program does not wait for it.
    std::thread([shared = m_shared, name, address = SystemBusAddress()] {
        if (!BusAnswers(address, kProbeMs))
            return;
        const QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        if (!bus.isConnected())
            return;
        const std::lock_guard lock(shared->mutex);
        if (shared->watch != nullptr)
            QMetaObject::invokeMethod(
                shared->watch, [watch = shared->watch, name] { watch->Connected(name); },
                Qt::QueuedConnection);
    }).detach();
}

void LogindWatch::Connected(const QString& connectionName) {
    m_connection = connectionName;
    QDBusConnection bus(connectionName);
    // No service in the match: naming logind would make Qt ask for its owner and wait for the answer.
    // The sender is checked against logind's owner instead, which is asked for asynchronously.
    bus.connect(QString(), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                SLOT(OnPrepareForSleep(bool)));
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus"), kBusDriver,
                QStringLiteral("NameOwnerChanged"), this,
                SLOT(OnNameOwnerChanged(QString, QString, QString)));
    QDBusMessage ask = QDBusMessage::createMethodCall(kBusDriver, QStringLiteral("/org/freedesktop/DBus"),
                                                      kBusDriver, QStringLiteral("GetNameOwner"));
    ask << kLogind;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        const QDBusPendingReply<QString> reply = *call;
        if (reply.isValid() && m_owner.isEmpty())
            m_owner = reply.value();
        call->deleteLater();
    });
}

void LogindWatch::OnPrepareForSleep(bool start) {
    if (!m_owner.isEmpty() && calledFromDBus() && message().service() == m_owner)
        Q_EMIT PrepareForSleep(start);
}

void LogindWatch::OnNameOwnerChanged(const QString& name, const QString&, const QString& newOwner) {
    if (name == kLogind && calledFromDBus() && message().service() == kBusDriver)
        m_owner = newOwner;
}

} // namespace tevro
