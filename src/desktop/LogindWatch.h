// logind's announcements of sleep and resume (PrepareForSleep on the system bus). Nothing here waits for
// the bus on the GUI thread: the connection is made on a thread of its own after a quick check that the
// bus answers at all, and every call on it is asynchronous. Without a system bus or logind nothing comes.
#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <memory>

namespace tevro {

class LogindWatch final : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    explicit LogindWatch(QObject* parent = nullptr);
    ~LogindWatch() override;

    // Starts connecting; returns at once.
    void Start();
    // Signals from logind are taken: the bus is connected and logind's owner known.
    bool Listening() const { return !m_owner.isEmpty(); }

Q_SIGNALS:
    // true: the computer is about to sleep; false: it has woken up.
    void PrepareForSleep(bool start);

private Q_SLOTS:
    void OnPrepareForSleep(bool start);
    void OnNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    struct Shared;
    void Connected(const QString& connectionName);

    std::shared_ptr<Shared> m_shared;
    QString m_connection;
    QString m_owner; // the unique name of logind on the bus: only its signals count
};

// "unix:path=..." or "unix:abstract=..." of a D-Bus address: whether a bus listens there and answers
// the authentication within timeoutMs. Other transports are taken as answering.
bool BusAnswers(const QString& address, int timeoutMs);

} // namespace tevro
