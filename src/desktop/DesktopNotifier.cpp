// The notifier's bus work runs on a thread of its own, and every call there is asynchronous: a bus or a
// service that never answers holds up neither the GUI thread nor the notifier's own event loop.
#include "desktop/DesktopNotifier.h"

#include "desktop/SessionBus.h"

#include <QAtomicInt>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QThread>
#include <QVariantMap>
#include <deque>
#include <map>

namespace {

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, RGBA bytes.
struct NotificationImage {
    int width = 0;
    int height = 0;
    int rowStride = 0;
    bool hasAlpha = true;
    int bitsPerSample = 8;
    int channels = 4;
    QByteArray data;
};

QDBusArgument& operator<<(QDBusArgument& arg, const NotificationImage& image) {
    arg.beginStructure();
    arg << image.width << image.height << image.rowStride << image.hasAlpha << image.bitsPerSample
        << image.channels << image.data;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, NotificationImage& image) {
    arg.beginStructure();
    arg >> image.width >> image.height >> image.rowStride >> image.hasAlpha >> image.bitsPerSample >>
        image.channels >> image.data;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(NotificationImage)

namespace tevro {
namespace {

constexpr std::chrono::milliseconds kCheckLimit{1000};
// A notification service answers within milliseconds; a bus that has not answered by then has stopped.
constexpr int kReplyLimitMs = 5000;
// The end of the program does not wait longer for the notifier's thread.
constexpr unsigned long kShutdownLimitMs = 500;

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

struct Request {
    bool close = false;
    QString summary;
    QString body;
    bool urgent = false;
    bool stays = false;
};

// Lives on the notifier's thread. Requests of one key go out one after the other: a notification that
// replaces another needs the id that the service gave the other one.
class NotifierWorker final : public QObject {
    Q_OBJECT

public:
    NotifierWorker(QString appName, QString desktopId, NotificationImage image)
        : m_appName(std::move(appName)), m_desktopId(std::move(desktopId)), m_image(std::move(image)) {
        static QAtomicInt count;
        m_connectionName = QStringLiteral("tevro-notifications-%1").arg(count.fetchAndAddRelaxed(1));
    }
    ~NotifierWorker() override {
        if (m_connected)
            QDBusConnection::disconnectFromBus(m_connectionName);
    }

    // Checked first with the same limit as at start-up: a connection to a silent bus would hold this
    // thread, and Qt's own bus thread with it, without end.
    void Connect() {
        const QString address = SessionBusAddress();
        const SessionBusState state = CheckSessionBus(address, kCheckLimit);
        if (state == SessionBusState::Silent) {
            Q_EMIT BusLost(QStringLiteral("The session bus (%1) does not answer: no desktop notifications")
                               .arg(address));
            return;
        }
        if (state != SessionBusState::Answers && state != SessionBusState::Unchecked)
            return;
        m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
        m_connected = true; // named even when it failed: the name is given back at the end
        m_usable = m_bus.isConnected();
    }

    void Enqueue(int key, const Request& request) {
        if (!m_usable)
            return;
        m_keys[key].waiting.push_back(request);
        Pump(key);
    }

Q_SIGNALS:
    void BusLost(const QString& line);

private:
    struct Key {
        std::deque<Request> waiting;
        bool busy = false;
        uint id = 0; // of the notification tied to the key
    };

    void Pump(int key) {
        Key& k = m_keys[key];
        while (m_usable && !k.busy && !k.waiting.empty()) {
            const Request request = k.waiting.front();
            k.waiting.pop_front();
            if (request.close && k.id == 0)
                continue;
            QDBusMessage call;
            if (request.close) {
                call = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                      QStringLiteral("CloseNotification"));
                call << k.id;
                k.id = 0;
            } else {
                call = NotifyCall(request, k.id);
            }
            k.busy = true;
            auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kReplyLimitMs), this);
            connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key, request, watcher] {
                watcher->deleteLater();
                Answered(key, request, *watcher);
            });
        }
    }

    void Answered(int key, const Request& request, const QDBusPendingCall& call) {
        Key& k = m_keys[key];
        k.busy = false;
        const QDBusError error = call.error();
        if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout) {
            Lose();
            return;
        }
        if (!request.close) {
            // Without a service there is no id; the next notification of the key starts afresh.
            const QDBusPendingReply<uint> reply(call);
            k.id = request.stays && reply.isValid() ? reply.value() : 0;
        }
        Pump(key);
    }

    QDBusMessage NotifyCall(const Request& request, uint replaces) const {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), m_desktopId);
        hints.insert(QStringLiteral("urgency"),
                     QVariant::fromValue(static_cast<uchar>(request.urgent ? 2 : 1)));
        if (!m_image.data.isEmpty())
            hints.insert(QStringLiteral("image-data"), QVariant::fromValue(m_image));
        call << m_appName << replaces << m_desktopId << request.summary << request.body << QStringList()
             << hints << -1;
        return call;
    }

    // Treated as a bus that was silent from the start: nothing more is sent, and the owner is told once.
    void Lose() {
        m_usable = false;
        m_keys.clear();
        Q_EMIT BusLost(QStringLiteral("The session bus stopped answering: no more desktop notifications"));
    }

    QString m_appName;
    QString m_desktopId;
    NotificationImage m_image;
    QString m_connectionName;
    QDBusConnection m_bus{QString()};
    bool m_connected = false;
    bool m_usable = false;
    std::map<int, Key> m_keys;
};

class SessionBusNotifier final : public DesktopNotifier {
public:
    SessionBusNotifier(const QString& appName, const QString& desktopId, const QImage& icon, QObject* context,
                       std::function<void(const QString&)> busLost)
        : m_thread(new QThread) {
        qDBusRegisterMetaType<NotificationImage>();
        NotificationImage image;
        if (!icon.isNull()) {
            const QImage rgba = icon.convertToFormat(QImage::Format_RGBA8888);
            image.width = rgba.width();
            image.height = rgba.height();
            image.rowStride = static_cast<int>(rgba.bytesPerLine());
            image.data = QByteArray(reinterpret_cast<const char*>(rgba.constBits()),
                                    static_cast<qsizetype>(rgba.sizeInBytes()));
        }
        m_thread->setObjectName(QStringLiteral("Notifications"));
        m_worker = new NotifierWorker(appName, desktopId, image);
        m_worker->moveToThread(m_thread.get());
        QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
        if (context != nullptr && busLost)
            QObject::connect(m_worker, &NotifierWorker::BusLost, context, std::move(busLost),
                             Qt::QueuedConnection);
        m_thread->start();
        QMetaObject::invokeMethod(m_worker, &NotifierWorker::Connect, Qt::QueuedConnection);
    }

    ~SessionBusNotifier() override {
        // Queued behind the requests already posted: a closing notification still goes out.
        QMetaObject::invokeMethod(
            m_worker, [] { QThread::currentThread()->quit(); }, Qt::QueuedConnection);
        // A thread still held by the bus is left to the end of the process: destroying it would abort.
        if (!m_thread->wait(kShutdownLimitMs))
            (void)m_thread.release();
    }

    void Notify(int key, const QString& summary, const QString& body, bool urgent, bool stays) override {
        Post(key, Request{false, summary, body, urgent, stays});
    }

    void Close(int key) override { Post(key, Request{true, {}, {}, false, false}); }

private:
    void Post(int key, const Request& request) {
        QMetaObject::invokeMethod(
            m_worker, [worker = m_worker, key, request] { worker->Enqueue(key, request); },
            Qt::QueuedConnection);
    }

    std::unique_ptr<QThread> m_thread;
    NotifierWorker* m_worker = nullptr; // deleted on its own thread as that ends
};

} // namespace

std::unique_ptr<DesktopNotifier> MakeSessionBusNotifier(const QString& appName, const QString& desktopId,
                                                        const QImage& icon, QObject* context,
                                                        std::function<void(const QString&)> busLost) {
    return std::make_unique<SessionBusNotifier>(appName, desktopId, icon, context, std::move(busLost));
}

} // namespace tevro

#include "DesktopNotifier.moc"
