// Lines of the table all begin with "||" so that a reader can collect them from between the other
// LOG lines.
#include "logging/DowntimeTable.h"

#include <algorithm>
#include <ctime>

namespace tevro {

QString DowntimeTable::FrameLine() {
    return QStringLiteral("||----------+--------------------------+--------------------------++");
}

QString DowntimeTable::HeadLine() {
    return QStringLiteral("|| Downtime | First failed ping at     | First successful ping at ||");
}

QDateTime SystemDowntimeClock::Now() const {
    return QDateTime::currentDateTime();
}

std::chrono::milliseconds SystemDowntimeClock::Elapsed() const {
    // CLOCK_BOOTTIME is monotonic and, unlike CLOCK_MONOTONIC, includes suspend: a laptop asleep
    // through an outage still reports the outage's full length.
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return std::chrono::seconds(ts.tv_sec) +
           std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::nanoseconds(ts.tv_nsec));
}

QString FormatDowntimeLength(std::chrono::milliseconds length, const QString& separator) {
    const long long totalSeconds = std::max<long long>(0, length.count() / 1000);
    const auto two = [](long long value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    return two(totalSeconds / 3600) + separator + two(totalSeconds / 60 % 60) + separator + two(totalSeconds % 60);
}

QString FormatDowntimeMoment(const QDateTime& moment, const QLocale& locale) {
    const QDate date = moment.date();
    auto two = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    // The stand-alone form is the bare abbreviation ("Mo", not the "Mo." used inside a date), so the
    // date columns keep the frame's width wherever the locale allows.
    return locale.standaloneDayName(date.dayOfWeek(), QLocale::ShortFormat) + QStringLiteral(", ") +
           two(date.day()) + QLatin1Char('.') + two(date.month()) + QLatin1Char('.') +
           QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')) + QStringLiteral(", ") +
           ClockText(moment.time(), TimeSeparator(locale));
}

DowntimeTable::DowntimeTable(const DowntimeClock& clock, LineWriter writer, QLocale locale)
    : m_clock(clock), m_write(std::move(writer)), m_locale(std::move(locale)) {}

bool DowntimeTable::Open() {
    if (m_open)
        return false;
    m_period.reset();
    // Lines that belong together go as one entry: in the LOG whole or not at all.
    m_write(FrameLine() + QStringLiteral("\r\n") + HeadLine() + QStringLiteral("\r\n") + FrameLine());
    m_open = true;
    return true;
}

void DowntimeTable::Close(int lastResultCode) {
    if (!m_open)
        return;
    Update(kPingSuccess, lastResultCode); // the "program closed" end of an open period
    m_write(FrameLine());
    m_open = false;
}

void DowntimeTable::Update(int resultCode, int lastResultCode) {
    if (resultCode == kPingNone || resultCode == kVersionMismatch)
        return;
    if (resultCode == kPingSuccess) {
        if (!m_period || lastResultCode == kPingSuccess)
            return;
        const QDateTime now = m_clock.Now();
        const QString length =
            FormatDowntimeLength(m_clock.Elapsed() - m_period->monotonicStart, TimeSeparator(m_locale));
        const QString nowText = FormatDowntimeMoment(now, m_locale);
        m_write(
            QStringLiteral("|| %1 | %2 | %3 ||\r\nFirst successful ping encountered or program closed at %3.")
                .arg(length, FormatDowntimeMoment(m_period->wallStart, m_locale), nowText));
        m_period.reset();
        return;
    }
    if (m_period && lastResultCode != kPingSuccess)
        return; // the period keeps the moment of its first failure
    m_period = Period{m_clock.Now(), m_clock.Elapsed()};
    m_write(QStringLiteral("First ping error encountered at %1.")
                .arg(FormatDowntimeMoment(m_period->wallStart, m_locale)));
}

} // namespace tevro
