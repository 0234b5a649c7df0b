// Message-log entries as the program builds them, for the benchmarks: a report of three tries as the ping
// run writes it, turned into markup by the result processing's own ViewEntry.
#pragma once

#include "engine/PingRun.h"
#include "monitor/LogEntry.h"

#include <QDateTime>
#include <QString>

namespace tevro::bench {

// Entry n: mostly clean successes, some with loss, some failures; five lines of markup each.
inline QString LogEntry(int n) {
    const int kind = n % 10;
    QString report = QStringLiteral("gateway.example.net [192.0.2.7]:\r\n\t");
    for (int t = 1; t <= 3; ++t) {
        if (kind == 9 || (kind >= 7 && t == 3))
            report += QStringLiteral("Try #%1: RecvFrom() timed out after 1000 ms.\r\n\t").arg(t);
        else
            report += QStringLiteral("Try #%1: successful, DataSize=32, TTL=52, Time=%2 ms.\r\n\t")
                          .arg(t)
                          .arg(20 + (n + t) % 40);
    }
    int code = PING_SUCCESS;
    int loss = 0;
    if (kind == 9) {
        code = PING_FAILED;
        loss = 100;
        report += QStringLiteral("3 request(s) total, all failed with a time-out set to 1000 ms each");
    } else if (kind >= 7) {
        loss = 33;
        report += QStringLiteral("3 request(s) total, 2 successful. Min=21 ms, Max=58 ms, Mean=40 ms, "
                                 "Packet loss=33%");
    } else {
        report += QStringLiteral("3 request(s) total, 3 successful. Min=21 ms, Max=58 ms, Mean=40 ms, "
                                 "Packet loss=0%");
    }
    const QDateTime when = QDateTime(QDate(2026, 12, 1), QTime(0, 0)).addSecs(60LL * n);
    return ViewEntry(code, loss, report, when);
}

} // namespace tevro::bench
