// Times of day as the program prints them everywhere (LOG entries, downtime table, schedule line):
// two-digit fields joined by the locale's time separator.
#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

namespace tevro {

// The one character the locale puts between hours and minutes; ":" when its format has none there,
// or literal text (fr_CA writes "07 h 51"), or several characters.
QString TimeSeparator(const QLocale& locale = QLocale());

// "hh<sep>nn<sep>ss", or "hh<sep>nn" without seconds; 24-hour clock.
QString ClockText(const QTime& time, const QString& separator, bool withSeconds = true);

} // namespace tevro
