// Picture and font look-ups shared by the parser and the view.
#include "richview/RichViewContext.h"

#include "common/Resources.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImageReader>

namespace tevro {

namespace {

std::optional<PictureRef> ReadableImage(const QString& path) {
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid())
        return std::nullopt;
    return PictureRef{path, size};
}

// Markup lower-cases picture names, so on a case-sensitive file system the file's own spelling is
// found by comparing names in its folder without regard to case.
QString FileOfName(const QString& name) {
    // Empty files are no pictures; this also keeps out /proc files (size 0), some of which block a reader.
    const auto usable = [](const QFileInfo& info) { return info.isFile() && info.size() > 0; };
    const QFileInfo exact(name);
    if (usable(exact))
        return exact.filePath();
    const QString fileName = exact.fileName();
    if (fileName.isEmpty())
        return {};
    const QDir folder = exact.dir();
    if (!folder.exists())
        return {};
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden);
    for (const QString& entry : entries) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0 && usable(QFileInfo(folder.filePath(entry))))
            return folder.filePath(entry);
    }
    return {};
}

} // namespace

std::optional<PictureRef> FindPicture(const QString& name) {
    if (name.isEmpty())
        return std::nullopt;
    const QString file = FileOfName(name);
    if (!file.isEmpty()) {
        if (auto found = ReadableImage(file))
            return found;
    }
    const QString resource = ResourcePath(name);
    if (!resource.isEmpty())
        return ReadableImage(resource);
    return std::nullopt;
}

bool IsInstalledFont(const QString& name) {
    if (name.isEmpty())
        return false;
    const QStringList families = QFontDatabase::families();
    return std::any_of(families.cbegin(), families.cend(),
                       [&](const QString& f) { return f.compare(name, Qt::CaseInsensitive) == 0; });
}

} // namespace tevro
