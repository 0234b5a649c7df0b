#include "support/PrivateBus.h"

#include <QFile>
#include <QStandardPaths>

namespace tevro::testing {

PrivateBus::PrivateBus(const QString& type) {
    if (!m_dir.isValid() || QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        return;
    // Everyone may own and call anything: the tests' own services stand in for the desktop's.
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig>\n  <type>%1</type>\n  <listen>unix:path=%2</listen>\n"
                       "  <auth>EXTERNAL</auth>\n  <policy context=\"default\">\n"
                       "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                       "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n")
            .arg(type, m_dir.filePath(QStringLiteral("bus")))
            .toUtf8());
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    if (m_daemon.waitForReadyRead(5000))
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
}

QDBusConnection PrivateBus::Connect(const QString& name) const {
    return QDBusConnection::connectToBus(m_address, name);
}

bool NotificationRecorder::Serve(QDBusConnection bus) {
    bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                       QDBusConnection::ExportAllSlots);
    return bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

QStringList NotificationRecorder::Summaries() const {
    QStringList summaries;
    for (const Call& call : calls)
        summaries << call.summary;
    return summaries;
}

uint NotificationRecorder::Notify(const QString&, uint, const QString&, const QString& summary,
                                  const QString& body, const QStringList&, const QVariantMap& hints, int) {
    calls.push_back({summary, body, hints});
    return static_cast<uint>(calls.size());
}

} // namespace tevro::testing
