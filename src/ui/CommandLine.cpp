#include "ui/CommandLine.h"

namespace tevro {

namespace {

const QString kSwitch = QStringLiteral("-ToRunning");

bool IsSwitch(const QString& argument) {
    return argument.compare(kSwitch, Qt::CaseInsensitive) == 0;
}

} // namespace

bool StartsRunning(const QStringList& arguments) {
    return arguments.size() > 1 && IsSwitch(arguments.at(1));
}

QStringList ArgumentWarnings(const QStringList& arguments) {
    QStringList lines;
    const QString program = arguments.isEmpty() ? QStringLiteral("tevro") : arguments.first().section(u'/', -1);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (i == 1 && IsSwitch(argument))
            continue;
        lines << (IsSwitch(argument)
                      ? QStringLiteral("%1: \"%2\" is ignored: %3 counts only as the first argument")
                            .arg(program, argument, kSwitch)
                      : QStringLiteral("%1: unknown argument \"%2\" is ignored; the one switch is %3, "
                                       "as the first argument")
                            .arg(program, argument, kSwitch));
    }
    return lines;
}

} // namespace tevro
