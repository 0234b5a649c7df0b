#include "desktop/DesktopNotifier.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

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

// Without an address libdbus may try to launch a bus of its own on X11, which can take seconds.
bool SessionBusConfigured() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

class SessionBusNotifier final : public DesktopNotifier {
public:
    SessionBusNotifier(const QString& appName, const QString& desktopId, const QImage& icon)
        : m_appName(appName), m_desktopId(desktopId) {
        qDBusRegisterMetaType<NotificationImage>();
        if (!icon.isNull()) {
            const QImage rgba = icon.convertToFormat(QImage::Format_RGBA8888);
            m_image.width = rgba.width();
            m_image.height = rgba.height();
            m_image.rowStride = static_cast<int>(rgba.bytesPerLine());
            m_image.data = QByteArray(reinterpret_cast<const char*>(rgba.constBits()),
                                      static_cast<qsizetype>(rgba.sizeInBytes()));
        }
    }

    void Notify(const QString& summary, const QString& body, bool urgent) override {
        if (!SessionBusConfigured())
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), m_desktopId);
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(urgent ? 2 : 1)));
        if (!m_image.data.isEmpty())
            hints.insert(QStringLiteral("image-data"), QVariant::fromValue(m_image));
        call << m_appName << 0U << m_desktopId << summary << body << QStringList() << hints << -1;
        // Sent without waiting for the answer: a missing or slow service must never hold up a result.
        bus.send(call);
    }

private:
    QString m_appName;
    QString m_desktopId;
    NotificationImage m_image;
};

} // namespace

std::unique_ptr<DesktopNotifier> MakeSessionBusNotifier(const QString& appName, const QString& desktopId,
                                                        const QImage& icon) {
    return std::make_unique<SessionBusNotifier>(appName, desktopId, icon);
}

} // namespace tevro
