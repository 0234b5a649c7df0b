// LaunchFile keeps the "above 32 means success" convention its callers compare against.
#include "desktop/FMXUtils.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tevro {
namespace {

// A name with a folder part is taken as a path; a bare name is looked up on PATH first.
QString FindProgram(const QString& file, const QString& folder) {
    if (file.contains(QLatin1Char('/'))) {
        const QFileInfo info(QDir(folder.isEmpty() ? QDir::currentPath() : folder), file);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(file);
}

bool LooksLikeUrl(const QString& file) {
    const QUrl url(file, QUrl::StrictMode);
    return url.isValid() && url.scheme().size() > 1; // a one-letter scheme would be a drive, not a URL
}

} // namespace

int LaunchFile(const QString& file, const QString& parameters, const QString& folder, int showState) {
    Q_UNUSED(showState); // the window manager places and sizes started programs
    if (file.trimmed().isEmpty())
        return LAUNCH_FILE_NOT_FOUND;
    if (!folder.isEmpty() && !QFileInfo(folder).isDir())
        return LAUNCH_PATH_NOT_FOUND;

    const QString program = FindProgram(file, folder);
    if (!program.isEmpty()) {
        const QStringList args = QProcess::splitCommand(parameters);
        return QProcess::startDetached(program, args, folder) ? LAUNCH_OK : LAUNCH_FILE_NOT_FOUND;
    }
    if (LooksLikeUrl(file))
        return QDesktopServices::openUrl(QUrl(file)) ? LAUNCH_OK : LAUNCH_NO_ASSOCIATION;

    const QFileInfo document(QDir(folder.isEmpty() ? QDir::currentPath() : folder), file);
    if (!document.exists())
        return LAUNCH_FILE_NOT_FOUND;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(document.absoluteFilePath())) ? LAUNCH_OK
                                                                                       : LAUNCH_NO_ASSOCIATION;
}

QString ProgramFileName() {
    // Without an application object Qt cannot tell the path; the kernel always can.
    const QString path = QCoreApplication::instance() != nullptr
                             ? QCoreApplication::applicationFilePath()
                             : QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QFileInfo(path).fileName();
}

} // namespace tevro
