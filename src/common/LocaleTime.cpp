// The separator is taken from the short time format, which is what the locale shows a time with.
#include "common/LocaleTime.h"

namespace tevro {

QString TimeSeparator(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    qsizetype i = 0;
    while (i < format.size() && format.at(i) != QLatin1Char('h') && format.at(i) != QLatin1Char('H'))
        ++i;
    while (i < format.size() && (format.at(i) == QLatin1Char('h') || format.at(i) == QLatin1Char('H')))
        ++i;
    qsizetype end = i;
    while (end < format.size() && format.at(end) != QLatin1Char('m'))
        ++end;
    if (end == format.size() || end - i != 1)
        return QStringLiteral(":");
    // A quote opens literal text; letters, digits and blanks are no separator of their own.
    const QChar separator = format.at(i);
    if (separator.isLetterOrNumber() || separator.isSpace() || separator == QLatin1Char('\''))
        return QStringLiteral(":");
    return QString(separator);
}

QString ClockText(const QTime& time, const QString& separator, bool withSeconds) {
    auto two = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    QString text = two(time.hour()) + separator + two(time.minute());
    if (withSeconds)
        text += separator + two(time.second());
    return text;
}

} // namespace tevro
