// Rotation keeps the order of the original tool: the highest generation moves first, so no rename
// ever needs to replace a file, and a gap in the numbers ends the chain.
#include "logging/LogFile.h"

#include "common/Product.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace tevro {
namespace {

QString AsciiLower(QString text) {
    for (QChar& c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return text;
}

bool FolderIsWritable(const QString& folder) {
    // access() answers for this user, root included, and sees read-only mounts.
    return !folder.isEmpty() && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

class LocalRotationDisk final : public RotationDisk {
public:
    bool Exists(const QString& path) const override { return QFileInfo::exists(path); }
    bool Remove(const QString& path) override { return QFile::remove(path); }
    bool Rename(const QString& from, const QString& to) override { return QFile::rename(from, to); }
};

} // namespace

RotationDisk& LocalDisk() {
    static LocalRotationDisk disk;
    return disk;
}

QString LogFileNameFor(const QString& executablePath) {
    const qsizetype slash = executablePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = executablePath.left(slash + 1);
    QString name = executablePath.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) // a leading dot marks a hidden file, not an extension
        name.truncate(dot);
    return folder + AsciiLower(name) + QStringLiteral(".log");
}

QString UserLogFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Tevro");
}

QString ChooseLogFileName(const QString& executablePath, const QString& fallbackFolder) {
    const QString besideProgram =
        LogFileNameFor(executablePath.isEmpty() ? QStringLiteral("tevro") : executablePath);
    const QFileInfo info(besideProgram);
    if (!executablePath.isEmpty() && FolderIsWritable(info.absolutePath()))
        return info.absoluteFilePath();
    QDir().mkpath(fallbackFolder); // failure shows later as lost lines, like any unwritable LOG
    return QDir(fallbackFolder).absoluteFilePath(info.fileName());
}

QString GenerationFileName(const QString& logFileName, int n) {
    return logFileName + QLatin1Char('.') + QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
}

int FirstFreeLogNumber(const QString& logFileName, const RotationDisk& disk) {
    int n = 1;
    while (disk.Exists(GenerationFileName(logFileName, n)))
        ++n;
    return n;
}

RotationOutcome RotateLogFiles(const QString& logFileName, RotationDisk& disk) {
    RotationOutcome outcome;
    if (!disk.Exists(logFileName))
        return outcome;

    int n = FirstFreeLogNumber(logFileName, disk);
    if (n > kMaxLogGenerations) {
        do {
            --n;
            disk.Remove(GenerationFileName(logFileName, n));
        } while (n > kMaxLogGenerations);
        outcome.oldestDeleted = !disk.Exists(GenerationFileName(logFileName, kMaxLogGenerations));
    }
    // A failed move leaves its file in place; the moves below it then fail too, up to the LOG.
    for (; n > 1; --n)
        disk.Rename(GenerationFileName(logFileName, n - 1), GenerationFileName(logFileName, n));

    // Only the move of the LOG itself decides what the new run reports: when it stays in place,
    // the run appends to it and must not claim a rotation.
    if (disk.Rename(logFileName, GenerationFileName(logFileName, 1)))
        outcome.rotated = true;
    else
        outcome.notMoved = true;
    return outcome;
}

QStringList StartupLogLines(const RotationOutcome& rotation, const QString& logFileName) {
    QStringList lines{QString(), ProductLine() + QLatin1Char('.'), QString()};
    if (rotation.oldestDeleted)
        lines << QStringLiteral("Oldest LOG file (") + GenerationFileName(logFileName, kMaxLogGenerations) +
                     QStringLiteral(") deleted.");
    if (rotation.rotated)
        lines << QStringLiteral("Previous LOG(s) rotated successfully.");
    else if (rotation.notMoved)
        lines << QStringLiteral("Previous LOG could not be rotated: this run is appended to it.");
    if (rotation.oldestDeleted || rotation.rotated || rotation.notMoved)
        lines << QString();
    return lines;
}

bool AppendLogLine(const QString& logFileName, const QString& text, QString* error) {
    // One write call per line: with O_APPEND a reader or a second writer never sees half a line.
    const QByteArray bytes = text.toUtf8() + "\r\n";
    QFile file(logFileName);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    ok = ok && file.write(bytes) == bytes.size();
    if (file.isOpen())
        file.close();
    ok = ok && file.error() == QFileDevice::NoError;
    if (!ok && error != nullptr)
        *error = QStringLiteral("Cannot write to \"%1\": %2").arg(logFileName, file.errorString());
    return ok;
}

} // namespace tevro
