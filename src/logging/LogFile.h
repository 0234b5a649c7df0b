// The LOG file: its name and folder, the rotation of old runs into numbered generations, and the
// one open-append-close operation every line goes through.
#pragma once

#include "logging/FailureStretch.h"

#include <QString>
#include <QStringList>
#include <functional>

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

// Where this run's LOG file lives: beside the executable when a file can really be created in that
// folder (a portable copy, a build folder) and it is not a system folder of programs (/usr/bin,
// /usr/local/bin, the install prefix's bin), otherwise under the same file name in `fallbackFolder`,
// which is created when missing. An installed program so writes per user, also when run as root.
QString ChooseLogFileName(const QString& executablePath, const QString& fallbackFolder);

// True when `path` exists but is no regular file (a folder, a pipe, a device): such a thing is never
// written to, moved or deleted as a LOG.
bool ExistsButIsNotAFile(const QString& path);

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
// missing; the file is closed again before returning, so other programs may read it at any time. The text
// is one entry: all its lines (a text may hold CR LF pairs) are written, or none of them.
// Returns false and fills `error` ("<file>": <reason>) when the entry could not be written whole; the file
// is then cut back to its size before the call, so no part of the entry stays behind for the next one to
// join.
bool AppendLogLine(const QString& logFileName, const QString& text, QString* error = nullptr);

// Whether the file can be opened for appending (it is created when missing); `error` says why not, in
// the form AppendLogLine gives.
bool CanAppendTo(const QString& logFileName, QString* error = nullptr);

// Follows the outcome of every LOG entry, so that a user hears of the first entry lost and of the return
// to working order, and of nothing in between. A nearly full disk may still take a short entry where a
// longer one fails: writing works again only once the note that says so is in the LOG as well.
class LogWriteState {
public:
    using Change = FailureStretch::Change;
    // The note that ends a stretch of failures, given the number of entries lost in it.
    using RecoveryNote = std::function<QString(int lostEntries)>;

    // Writes one entry through AppendLogLine. After a stretch of failures an entry written whole is
    // followed by `note`; the stretch ends (Recovered) only when that is written whole too.
    Change Write(const QString& logFileName, const QString& entry, const RecoveryNote& note);

    bool Failing() const { return m_lost.Failing(); }
    // Entries lost in the current stretch of failures, or in the one that has just ended.
    int LostEntries() const { return m_lost.Failures(); }
    QString LastError() const { return m_lost.LastError(); }

private:
    FailureStretch m_lost;
};

// "1 entry", "2 entries".
QString EntryCount(int entries);

} // namespace tevro
