// The LOG file: its name and folder, the rotation of old runs into numbered generations, and the
// one open-append-close operation every line goes through.
#pragma once

#include <QString>
#include <QStringList>

namespace tevro {

// Generations above this number are deleted at start-up.
inline constexpr int kMaxLogGenerations = 100;

// The LOG file beside an executable: same folder, the file name's extension replaced by ".log" and
// its ASCII letters lower-cased ("/opt/Apps/Tevro" gives "/opt/Apps/tevro.log"). Folders keep their
// case: they are case-sensitive here.
QString LogFileNameFor(const QString& executablePath);

// The per-user folder for LOG files when the executable's folder cannot be written:
// $XDG_DATA_HOME/Tevro, by default ~/.local/share/Tevro.
QString UserLogFolder();

// Where this run's LOG file lives: beside the executable when that folder is writable (a portable
// copy, a build folder), otherwise under the same file name in `fallbackFolder`, which is created
// when missing. Installed programs usually sit in folders their users cannot write.
QString ChooseLogFileName(const QString& executablePath, const QString& fallbackFolder);

// Generation n of a LOG file: its name, a full stop and n with at least three digits.
QString GenerationFileName(const QString& logFileName, int n);

// The file operations rotation needs. Abstract so tests can make a move or a deletion fail.
class RotationDisk {
public:
    virtual ~RotationDisk() = default;
    virtual bool Exists(const QString& path) const = 0;
    virtual bool Remove(const QString& path) = 0;
    virtual bool Rename(const QString& from, const QString& to) = 0; // never replaces `to`
};

// The real file system.
RotationDisk& LocalDisk();

// The lowest n >= 1 whose generation file does not exist.
int FirstFreeLogNumber(const QString& logFileName, const RotationDisk& disk = LocalDisk());

struct RotationOutcome {
    bool oldestDeleted = false; // the generation at the limit was deleted to make room
    bool rotated = false;       // the previous LOG file became generation 1
    bool notMoved = false;      // a previous LOG file exists but could not be moved: this run appends
};

// Moves the previous run's LOG file aside as generation 1, shifting the unbroken chain of older
// generations up by one and deleting those beyond the limit. Does nothing without a LOG file.
RotationOutcome RotateLogFiles(const QString& logFileName, RotationDisk& disk = LocalDisk());

// The lines that open every run's LOG file, given the outcome of the rotation.
QStringList StartupLogLines(const RotationOutcome& rotation, const QString& logFileName);

// Appends `text` and CR LF to the file as UTF-8 without a byte-order mark, creating the file when
// missing; the file is closed again before returning, so other programs may read it at any time.
// Returns false and fills `error` when the line could not be written completely.
bool AppendLogLine(const QString& logFileName, const QString& text, QString* error = nullptr);

} // namespace tevro
