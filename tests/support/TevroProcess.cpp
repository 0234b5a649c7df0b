// The sandbox keeps the program's folders apart from the real user's through the XDG variables.
#include "support/TevroProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <QTimer>

namespace tevro::testing {

TevroSandbox::TevroSandbox() {
    for (const char* sub : {"bin", "config", "runtime", "data"})
        QDir(m_dir.path()).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(Path(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString TevroSandbox::InstallProgram(const QString& fileName) {
    const QString target = Path(QStringLiteral("bin/") + fileName);
    QFile::remove(target);
    if (!QFile::copy(QStringLiteral(TEVRO_EXECUTABLE), target))
        return QString();
    QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::ExeOwner);
    return target;
}

QString TevroSandbox::SettingsFile() const {
    return Path(QStringLiteral("config/Kaltmer/Tevro.conf"));
}

void TevroSandbox::WriteSettings(const QMap<QString, QString>& values) {
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    for (auto it = values.begin(); it != values.end(); ++it)
        settings.setValue(it.key(), it.value());
}

QProcessEnvironment TevroSandbox::Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), Path(QStringLiteral("data")));
    env.insert(QStringLiteral("HOME"), Path(QString()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

QStringList ReadLogLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QStringLiteral("\r\n")))
        text.chop(2);
    return text.isEmpty() && file.size() == 0 ? QStringList() : text.split(QStringLiteral("\r\n"));
}

bool WaitForLog(const QString& path, const std::function<bool(const QStringList&)>& done, int timeoutMs) {
    QFileSystemWatcher watcher;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    auto check = [&] {
        if (QFile::exists(path) && !watcher.files().contains(path))
            watcher.addPath(path);
        if (done(ReadLogLines(path)))
            loop.quit();
    };
    watcher.addPath(QFileInfo(path).absolutePath()); // the file's creation
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, check);
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, check);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check();
    if (done(ReadLogLines(path)))
        return true;
    deadline.start(timeoutMs);
    loop.exec();
    return done(ReadLogLines(path));
}

bool TerminateAndExpectCleanExit(QProcess& process, int timeoutMs) {
    process.terminate(); // SIGTERM
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

qint64 TerminateWithin(QProcess& process, int limitMs) {
    QElapsedTimer ending;
    ending.start();
    if (TerminateAndExpectCleanExit(process, limitMs))
        return ending.elapsed();
    process.kill();
    process.waitForFinished();
    return -1;
}

QString ToolOutput(const QString& tool, const QStringList& arguments) {
    QProcess process;
    process.start(tool, arguments);
    process.waitForFinished(5000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool PollUntil(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

QString Capture(const QString& program, const QStringList& arguments, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString MainWindowId(const QString& caption, const QProcessEnvironment& env) {
    const QRegularExpression titled(QStringLiteral("(0x[0-9a-f]+) \"") + QRegularExpression::escape(caption) +
                                    u'"');
    auto found = titled.globalMatch(
        Capture(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}, env));
    while (found.hasNext()) {
        const QString window = found.next().captured(1);
        const QString owner =
            Capture(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), window, QStringLiteral("WM_TRANSIENT_FOR")}, env);
        if (owner.contains(QStringLiteral("not found")))
            return window;
    }
    return QString();
}

} // namespace tevro::testing
