// The association files are read directly: asking a helper program would make the window wait.
#include "desktop/DesktopOpen.h"

#include <QDesktopServices>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

namespace tevro {
namespace {

// A line "x-scheme-handler/<scheme>=some.desktop;" outside [Removed Associations].
bool ClaimsScheme(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool removedSection = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            removedSection = line == QStringLiteral("[Removed Associations]");
            continue;
        }
        if (removedSection || !line.startsWith(key))
            continue;
        const QString value = line.mid(key.size()).trimmed();
        if (value.startsWith(QLatin1Char('=')) && !value.mid(1).remove(QLatin1Char(';')).trimmed().isEmpty())
            return true;
    }
    return false;
}

} // namespace

bool HasSchemeHandler(const QString& scheme, const QStringList& configFolders,
                      const QStringList& dataFolders) {
    const QStringList configs = configFolders.isEmpty()
                                    ? QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)
                                    : configFolders;
    const QStringList datas = dataFolders.isEmpty()
                                  ? QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)
                                  : dataFolders;
    QStringList files;
    for (const QString& folder : configs)
        files << folder + QStringLiteral("/mimeapps.list");
    for (const QString& folder : datas)
        files << folder + QStringLiteral("/applications/mimeapps.list")
              << folder + QStringLiteral("/applications/mimeinfo.cache");
    const QString key = QStringLiteral("x-scheme-handler/") + scheme.toLower();
    for (const QString& file : files)
        if (ClaimsScheme(file, key))
            return true;
    return false;
}

bool OpenWithDesktop(const QString& address) {
    const QUrl url(address, QUrl::TolerantMode);
    if (url.scheme().compare(QStringLiteral("mailto"), Qt::CaseInsensitive) == 0 &&
        !HasSchemeHandler(QStringLiteral("mailto")))
        return false;
    return QDesktopServices::openUrl(url);
}

} // namespace tevro
