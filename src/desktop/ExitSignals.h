// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that a logout or a `kill`
// ends the program through its normal close path.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tevro {

class ExitSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; only one object may exist at a time.
    explicit ExitSignals(QObject* parent = nullptr);
    // Restores the handlers that were in place before.
    ~ExitSignals() override;

    bool IsInstalled() const { return m_installed; }

Q_SIGNALS:
    void ExitRequested(int signalNumber);

private:
    void ReadPending();

    bool m_installed = false;
    int m_readFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace tevro
