// The downtime table inside the LOG file: one head per monitoring phase, one row per period of failed
// pings, and a closing frame line. One period for the whole program: any host's failure opens it and
// any host's success closes it.
#pragma once

#include "common/LocaleTime.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace tevro {

// Wall-clock moments for the printed times and a monotonic clock for the lengths, so that a clock set
// back or forward during a period does not change its length. Abstract so tests can set the time.
class DowntimeClock {
public:
    virtual ~DowntimeClock() = default;
    virtual QDateTime Now() const = 0;
    virtual std::chrono::milliseconds Elapsed() const = 0; // since an arbitrary fixed point
};

// The system's clocks; the monotonic one keeps counting while the machine sleeps.
class SystemDowntimeClock final : public DowntimeClock {
public:
    QDateTime Now() const override;
    std::chrono::milliseconds Elapsed() const override;
};

// "hh:nn:ss" with the total hours (at least two digits), so a period of 25 hours reads 25:00:00; the
// fields are joined by `separator`.
QString FormatDowntimeLength(std::chrono::milliseconds length, const QString& separator = QStringLiteral(":"));

// "ddd, dd.mm.yyyy, hh:nn:ss" with the locale's short day name and time separator.
QString FormatDowntimeMoment(const QDateTime& moment, const QLocale& locale);

class DowntimeTable {
public:
    using LineWriter = std::function<void(const QString&)>;

    static constexpr int kPingNone = 0;
    static constexpr int kVersionMismatch = 1;
    static constexpr int kPingSuccess = 4;

    static QString FrameLine();
    static QString HeadLine();

    // `clock` must outlive the table; every line goes through `writer`, lines that belong together (the
    // head, a row and its message) in one call, joined by CR LF.
    DowntimeTable(const DowntimeClock& clock, LineWriter writer, QLocale locale = QLocale());

    // Writes the head unless a table is open; true when it did (the caller then forgets its last
    // result code, as a new table starts without history).
    bool Open();

    // Forgets the table and any open period without writing anything.
    void Reset() {
        m_open = false;
        m_period.reset();
    }

    // Ends an open period now and writes the closing frame line, if a table is open.
    void Close(int lastResultCode);

    // Feeds one log entry's result code; `lastResultCode` is the previous entry's code.
    void Update(int resultCode, int lastResultCode);

    bool IsOpen() const { return m_open; }
    bool PeriodOpen() const { return m_period.has_value(); }
    QDateTime PeriodStart() const { return m_period ? m_period->wallStart : QDateTime(); }

private:
    struct Period {
        QDateTime wallStart;
        std::chrono::milliseconds monotonicStart;
    };

    const DowntimeClock& m_clock;
    LineWriter m_write;
    QLocale m_locale;
    bool m_open = false;
    std::optional<Period> m_period;
};

} // namespace tevro
