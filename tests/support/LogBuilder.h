// Writes LOG files as the program does: its start-up lines, entries whose reports come from real ping
// runs over the scripted network, the downtime table, every line through AppendLogLine. Time is set, not
// waited for.
#pragma once

#include "FakePing.h"
#include "engine/StopSignal.h"
#include "logging/DowntimeTable.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

namespace tevro::testing {

class LogBuilder {
public:
    // Hosts named in entries resolve to 192.0.2.x; dotted addresses are pinged as they are.
    LogBuilder(QString logFileName, QDateTime start);
    ~LogBuilder();

    // A program start: the start-up lines, the message log's first entry and the downtime table's head.
    void StartRun(bool rotated = true);
    // A program end: the downtime table is closed.
    void EndRun();

    // One round of one host. `times` holds a reply time per try, -1 for a try without reply.
    void Success(const QString& host, const std::vector<int>& times = {20, 30, 40});
    void Failure(const QString& host, int tries = 3);
    void SocketError(const QString& host);       // the name does not resolve
    void InvalidParameters(const QString& host); // a time-out of 0: the run fails before any try
    // The path traced to a host that went down: a router at hop 1, then silence.
    void PathTrace(const QString& host);
    // An informational entry, as the program writes about the network, sleep or its clock.
    void Info(const QString& text);

    void Advance(int seconds) { m_now = m_now.addSecs(seconds); }
    QDateTime Now() const { return m_now; }
    const QString& FileName() const { return m_fileName; }

private:
    class Clock;
    PingResult Ping(const QString& host, std::vector<FakeTry> tries);
    void Entry(int resultCode, int packetLoss, const QString& report);

    QString m_fileName;
    QDateTime m_now;
    FakeWorld m_world;
    StopSignal m_stop;
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<DowntimeTable> m_table;
    int m_lastResultCode = 0;
};

} // namespace tevro::testing
