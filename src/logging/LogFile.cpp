// Rotation keeps the order of the original tool: the highest generation moves first, so no rename
// ever needs to replace a file, and a gap in the numbers ends the chain.
#include "logging/LogFile.h"

#include "common/Product.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

// Folders of installed programs: a LOG there would be shared by every user, and root could write it.
bool IsSystemProgramFolder(const QString& folder) {
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty())
        return false;
    for (const char* system : {"/usr/bin", "/usr/local/bin", "/bin", "/usr/sbin", "/sbin", TEVRO_INSTALL_BINDIR}) {
        const QString systemReal = QFileInfo(QString::fromUtf8(system)).canonicalFilePath();
        if (!systemReal.isEmpty() && systemReal == real)
            return true;
    }
    return false;
}

// Creating a file is the only answer that holds for root, read-only mounts and every kind of access
// list; access() says yes to root anywhere.
bool FolderIsWritable(const QString& folder) {
    if (folder.isEmpty())
        return false;
    const QByteArray probe =
        QFile::encodeName(folder + QStringLiteral("/.tevro-write-test-") + QString::number(::getpid()));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

bool IsRegularFile(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

constexpr int kNotAFile = -1;

QString FailureText(int failure) {
    return failure == kNotAFile ? QStringLiteral("it is not a regular file")
                                : QString::fromLocal8Bit(std::strerror(failure));
}

// Opens for appending, creating the file when missing. A pipe or device is refused before it is
// opened: opening a pipe would wait for a reader.
int OpenForAppend(const QString& logFileName, int& error) {
    if (ExistsButIsNotAFile(logFileName)) {
        error = kNotAFile;
        return -1;
    }
    const int fd = ::open(QFile::encodeName(logFileName).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    error = fd < 0 ? errno : 0;
    return fd;
}

class LocalRotationDisk final : public RotationDisk {
public:
    bool Exists(const QString& path) const override { return QFileInfo::exists(path); }
    // Only regular files are moved or deleted: a folder or a pipe under a LOG's name is not ours.
    bool Remove(const QString& path) override { return IsRegularFile(path) && QFile::remove(path); }
    bool Rename(const QString& from, const QString& to) override {
        return IsRegularFile(from) && QFile::rename(from, to);
    }
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
    if (!executablePath.isEmpty() && !IsSystemProgramFolder(info.absolutePath()) &&
        FolderIsWritable(info.absolutePath()))
        return info.absoluteFilePath();
    QDir().mkpath(fallbackFolder); // failure shows later as lost entries, like any unwritable LOG
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

bool ExistsButIsNotAFile(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

bool AppendLogLine(const QString& logFileName, const QString& text, QString* error) {
    // One write call per entry: with O_APPEND a reader or a second writer never sees half an entry.
    const QByteArray bytes = text.toUtf8() + "\r\n";
    int failure = 0;
    const int fd = OpenForAppend(logFileName, failure);
    if (fd >= 0) {
        struct stat before {};
        const bool sized = ::fstat(fd, &before) == 0;
        qsizetype done = 0;
        while (failure == 0 && done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EINTR)
                failure = errno;
            else if (n == 0)
                failure = EIO;
        }
        // A full disk or a size limit takes part of the entry: take it back, or the next entry would be
        // glued onto the remnant.
        if (failure != 0 && done > 0 && sized) [[maybe_unused]]
            const int cut = ::ftruncate(fd, before.st_size);
        // Some file systems tell of a failed write only when the file is closed.
        if (::close(fd) != 0 && failure == 0) {
            failure = errno;
            if (sized) [[maybe_unused]]
                const int cut = ::truncate(QFile::encodeName(logFileName).constData(), before.st_size);
        }
    }
    if (failure != 0 && error != nullptr)
        *error = QStringLiteral("\"%1\": %2").arg(logFileName, FailureText(failure));
    return failure == 0;
}

bool CanAppendTo(const QString& logFileName, QString* error) {
    int failure = 0;
    const int fd = OpenForAppend(logFileName, failure);
    if (fd >= 0)
        ::close(fd);
    if (failure != 0 && error != nullptr)
        *error = QStringLiteral("\"%1\": %2").arg(logFileName, FailureText(failure));
    return failure == 0;
}

LogWriteState::Change LogWriteState::Write(const QString& logFileName, const QString& entry,
                                           const RecoveryNote& note) {
    QString error;
    if (!AppendLogLine(logFileName, entry, &error))
        return m_lost.Failed(error);
    if (!m_lost.Failing())
        return Change::None;
    // The entry is in the LOG and does not count as lost; the stretch goes on until the note is too.
    if (!AppendLogLine(logFileName, note(m_lost.Failures()), &error)) {
        m_lost.StillFailing(error);
        return Change::None;
    }
    return m_lost.Succeeded();
}

QString EntryCount(int entries) {
    return QString::number(entries) + (entries == 1 ? QStringLiteral(" entry") : QStringLiteral(" entries"));
}

} // namespace tevro
