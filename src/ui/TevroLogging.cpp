// The LOG file and the downtime table of the main window.
#include "ui/Tevro_u.h"

#include <QCoreApplication>
#include <QFileInfo>

QString TF_Tevro::DefaultLogFileName() {
    const QFileInfo program(QCoreApplication::applicationFilePath());
    const QString stem =
        program.suffix().isEmpty()
            ? program.filePath()
            : program.filePath().left(program.filePath().size() - program.suffix().size() - 1);
    QString name = stem + QStringLiteral(".log");
    // A-Z only: the LOG name must not depend on the locale.
    for (QChar& c : name)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return name;
}

void TF_Tevro::RotateLogFiles(bool& oldestDeleted, bool& rotated) {
    oldestDeleted = false;
    rotated = false;
}

void TF_Tevro::WriteLogLine(const QString&) {}

void TF_Tevro::OpenDowntimeTable() {
    if (DowntimeTableOpen)
        return;
    DowntimeStart = QDateTime();
    LastResultCode = 0;
    DowntimeTableOpen = true;
}

void TF_Tevro::CloseDowntimeTable() {
    DowntimeTableOpen = false;
}

void TF_Tevro::UpdateDowntime(int) {}

bool TF_Tevro::OrvexAvailable() const {
    return QFileInfo::exists(QStringLiteral("Orvex.exe"));
}

void TF_Tevro::SB_OrvexClick() {}
