// QLockFile records the holder's process id; a lock whose holder no longer runs is taken over.
#include "desktop/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

namespace tevro {
namespace {

QString LockFileName(const QString& programFileName, const QString& folder) {
    if (!folder.isEmpty())
        return QDir(folder).absoluteFilePath(programFileName + QStringLiteral(".lock"));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).absoluteFilePath(programFileName + QStringLiteral(".lock"));
    // The temporary folder is shared by all users: the user id keeps their locks apart.
    return QDir(QDir::tempPath())
        .absoluteFilePath(programFileName + QStringLiteral("-%1.lock").arg(::getuid()));
}

} // namespace

SingleInstanceLock::SingleInstanceLock(const QString& programFileName, const QString& folder)
    : m_fileName(LockFileName(programFileName, folder)), m_lock(std::make_unique<QLockFile>(m_fileName)) {
    // The default stale time would let a second copy take the lock of a copy running longer
    // than 30 seconds; a lock is stale only when its holder is gone.
    m_lock->setStaleLockTime(0);
}

SingleInstanceLock::Result SingleInstanceLock::TryAcquire(QString* error) {
    if (m_lock->tryLock(0))
        return Result::Acquired;
    if (m_lock->error() == QLockFile::LockFailedError)
        return Result::HeldByAnotherCopy;
    if (error != nullptr)
        *error = QStringLiteral("Cannot create the lock file \"%1\".").arg(m_fileName);
    return Result::Failed;
}

} // namespace tevro
