// The tool is started detached so that no QProcess destructor kills it or waits for it when the program
// ends; its end is seen through a pidfd, which works for a process that is not our child.
#include "logging/Extraction.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tevro {
namespace {

int OpenPidFd(qint64 pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
    Q_UNUSED(pid);
    errno = ENOSYS;
    return -1;
#endif
}

} // namespace

QString FindExtractionTool(const QString& programFolder) {
    const QFileInfo beside(QDir(programFolder), QString::fromLatin1(kExtractionTool));
    if (!programFolder.isEmpty() && beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(QString::fromLatin1(kExtractionTool));
}

QStringList ExtractionArguments(const QString& logFileName) {
    QStringList arguments{QStringLiteral("-o") + QString::fromLatin1(kExtractionOutput)};
    const QString logName = QFileInfo(logFileName).fileName();
    if (!logName.isEmpty() && logName != QStringLiteral("tevro.log"))
        arguments << QStringLiteral("-l") + logName; // a renamed program names its LOG after itself
    return arguments;
}

FileStamp FileStamp::Of(const QString& path) {
    FileStamp stamp;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changedNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return stamp;
}

struct ExtractionRun::Watch {
    qint64 pid = 0;
    int pidFd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> poll;
    QString output;
    FileStamp before;
    Done done;

    ~Watch() {
        notifier.reset();
        if (pidFd >= 0)
            ::close(pidFd);
    }
};

ExtractionRun::ExtractionRun() = default;
ExtractionRun::~ExtractionRun() = default;

bool ExtractionRun::Running() const {
    return m_watch != nullptr;
}

bool ExtractionRun::Start(const QString& tool, const QStringList& arguments, const QString& folder,
                          Done done) {
    if (m_watch || tool.isEmpty())
        return false;
    auto watch = std::make_unique<Watch>();
    watch->output = QDir(folder).absoluteFilePath(QString::fromLatin1(kExtractionOutput));
    // Taken before the start: whatever the tool writes afterwards changes the file's identity.
    watch->before = FileStamp::Of(watch->output);
    watch->done = std::move(done);

    QProcess process;
    process.setProgram(tool);
    process.setArguments(arguments);
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached(&watch->pid))
        return false;

    Watch* w = watch.get();
    auto finished = [this] {
        if (!m_watch)
            return;
        std::unique_ptr<Watch> ended = std::move(m_watch);
        // This may run inside the notifier's or timer's own signal: they go later, the descriptor now.
        if (ended->notifier) {
            ended->notifier->setEnabled(false);
            ended->notifier.release()->deleteLater();
        }
        if (ended->poll) {
            ended->poll->stop();
            ended->poll.release()->deleteLater();
        }
        const bool fresh = FileStamp::Of(ended->output) != ended->before && QFileInfo(ended->output).isFile();
        const Done callback = std::move(ended->done);
        const QString output = ended->output;
        ended.reset();
        callback(fresh ? Outcome::Output : Outcome::NoOutput, output);
    };
    w->pidFd = OpenPidFd(w->pid);
    if (w->pidFd >= 0) {
        // The descriptor becomes readable once the process has ended.
        w->notifier = std::make_unique<QSocketNotifier>(w->pidFd, QSocketNotifier::Read);
        QObject::connect(w->notifier.get(), &QSocketNotifier::activated, w->notifier.get(), finished);
    } else {
        // Without pidfds (old kernels), or when the tool has already ended and been reaped: poll.
        w->poll = std::make_unique<QTimer>();
        w->poll->setInterval(100);
        const qint64 pid = w->pid;
        QObject::connect(w->poll.get(), &QTimer::timeout, w->poll.get(), [pid, finished] {
            if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                finished();
        });
        w->poll->start();
    }
    m_watch = std::move(watch);
    return true;
}

} // namespace tevro
