// The LOG a window of a test wrote into its folder, and orvex's report of it, as the extraction button
// makes it.
#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tevro::testing {

// The LOG's lines without their CR LF; empty when there is no LOG.
inline QStringList LogFileLines(const QString& folder) {
    QFile file(folder + QStringLiteral("/tevro.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))
                                          : QStringList();
}

// The report "orvex -oOrvex.Out" writes in the folder, or what it said on stderr when it wrote none.
inline QString OrvexReport(const QString& orvex, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(orvex, {QStringLiteral("-oOrvex.Out")});
    if (!process.waitForFinished(30000))
        return QStringLiteral("orvex did not finish");
    QFile out(folder + QStringLiteral("/Orvex.Out"));
    return out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll())
                                         : QString::fromUtf8(process.readAllStandardError());
}

} // namespace tevro::testing
