// One running copy per program file and user: a lock file in the user's runtime folder, named after
// the program file, that a crashed copy cannot leave blocking.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace tevro {

class SingleInstanceLock {
public:
    enum class Result { Acquired, HeldByAnotherCopy, Failed };

    // `folder` defaults to the user's runtime folder ($XDG_RUNTIME_DIR, else the temporary folder).
    explicit SingleInstanceLock(const QString& programFileName, const QString& folder = QString());

    // Takes the lock for as long as this object lives. On Failed, `error` says why.
    Result TryAcquire(QString* error = nullptr);

    QString FileName() const { return m_fileName; }

private:
    QString m_fileName;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace tevro
