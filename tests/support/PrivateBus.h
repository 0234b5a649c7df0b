// A D-Bus daemon of a test's own, on a socket in a temporary folder: a session bus for a recording
// notification service, or a system bus for a stand-in logind. Ended with the object.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>
#include <vector>

namespace tevro::testing {

class PrivateBus {
public:
    // type: "session" or "system". Address() is empty when dbus-daemon is missing or did not start.
    explicit PrivateBus(const QString& type);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& Address() const { return m_address; }
    // A connection of the test's own to the bus, under `name` within this process.
    QDBusConnection Connect(const QString& name) const;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

// Stands in for the desktop's notification daemon and records every call.
class NotificationRecorder final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString summary, body;
        QVariantMap hints;
    };
    std::vector<Call> calls;

    // Serves on `bus` as org.freedesktop.Notifications; false when the name could not be had.
    bool Serve(QDBusConnection bus);
    // The summaries received so far.
    QStringList Summaries() const;

public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
};

} // namespace tevro::testing
