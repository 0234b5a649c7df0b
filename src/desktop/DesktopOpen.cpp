// The association files are read directly: asking a helper program would make the window wait. xdg-open
// is run as a process of our own because its exit status is the only word on whether anything opened:
// the desktop services of Qt report success as soon as xdg-open has started.
#include "desktop/DesktopOpen.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace tevro {
namespace {

// The desktop entries one association file names for `key`, and those it removes.
struct Associations {
    QStringList named;
    QStringList removed;
};

QStringList DesktopIds(const QString& value) {
    QStringList ids;
    for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!id.trimmed().isEmpty())
            ids << id.trimmed();
    return ids;
}

Associations Read(const QString& path, const QString& key) {
    Associations found;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return found;
    enum class Section { Other, Named, Removed } section = Section::Other;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            if (line == QStringLiteral("[Removed Associations]"))
                section = Section::Removed;
            else if (line == QStringLiteral("[Default Applications]") ||
                     line == QStringLiteral("[Added Associations]") || line == QStringLiteral("[MIME Cache]"))
                section = Section::Named;
            else
                section = Section::Other;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (section == Section::Other || equals < 0 ||
            line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        (section == Section::Removed ? found.removed : found.named) << DesktopIds(line.mid(equals + 1));
    }
    return found;
}

// A desktop entry "vendor-app.desktop" may lie as "vendor-app.desktop" or "vendor/app.desktop".
bool Installed(QString id, const QStringList& dataFolders) {
    for (;;) {
        for (const QString& folder : dataFolders)
            if (QFileInfo(folder + QStringLiteral("/applications/") + id).isFile())
                return true;
        const qsizetype dash = id.indexOf(QLatin1Char('-'));
        if (dash < 0)
            return false;
        id[dash] = QLatin1Char('/');
    }
}

QStringList CurrentDesktops() {
    QStringList desktops;
    for (const QString& name :
         QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops << name.toLower();
    return desktops;
}

} // namespace

bool HasSchemeHandler(const QString& scheme, const QStringList& configFolders, const QStringList& dataFolders,
                      const QStringList& desktops) {
    const QStringList configs = configFolders.isEmpty()
                                    ? QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)
                                    : configFolders;
    const QStringList datas = dataFolders.isEmpty()
                                  ? QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)
                                  : dataFolders;
    const QStringList names = desktops.isEmpty() ? CurrentDesktops() : desktops;

    QStringList files;
    const auto lists = [&](const QString& folder) {
        for (const QString& desktop : names)
            files << folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        files << folder + QStringLiteral("/mimeapps.list");
    };
    for (const QString& folder : configs)
        lists(folder);
    for (const QString& folder : datas) {
        const QString applications = folder + QStringLiteral("/applications");
        lists(applications);
        files << applications + QStringLiteral("/defaults.list")
              << applications + QStringLiteral("/mimeinfo.cache");
    }

    const QString key = QStringLiteral("x-scheme-handler/") + scheme.toLower();
    QSet<QString> removed;
    for (const QString& file : files) {
        const Associations found = Read(file, key);
        for (const QString& id : found.named)
            if (!removed.contains(id) && Installed(id, datas))
                return true;
        for (const QString& id : found.removed)
            removed.insert(id);
    }
    return false;
}

void OpenWithDesktop(const QString& target, QObject* context, std::function<void(bool opened)> done) {
    const QPointer<QObject> guard(context);
    const auto answer = [guard, done = std::move(done)](bool opened) {
        if (guard)
            done(opened);
    };
    const QUrl url(target, QUrl::TolerantMode);
    if (url.scheme().compare(QStringLiteral("mailto"), Qt::CaseInsensitive) == 0 &&
        !HasSchemeHandler(QStringLiteral("mailto"))) {
        QTimer::singleShot(0, context, [answer] { answer(false); });
        return;
    }
    // No parent: deleting a running QProcess kills its program, and on a desktop without a session helper
    // xdg-open runs the opened program itself until it ends. Left running at exit, it simply goes on.
    auto* process = new QProcess();
    process->setProgram(QStringLiteral("xdg-open"));
    process->setArguments({target});
    process->setProcessChannelMode(QProcess::ForwardedChannels); // its complaints go to our stderr
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, answer](int exitCode, QProcess::ExitStatus status) {
                         answer(status == QProcess::NormalExit && exitCode == 0);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, answer](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return; // a crash or a kill ends in finished()
                         answer(false);
                         process->deleteLater();
                     });
    process->start();
}

} // namespace tevro
