// Finding, loading and keeping the pictures of pic attributes.
#include "richview/PictureCache.h"

#include "common/Resources.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QImageReader>

namespace tevro {

namespace {

// Empty files are no pictures; this also keeps out /proc files (size 0), some of which block a reader.
bool Usable(const QFileInfo& info) {
    return info.isFile() && info.size() > 0;
}

QImage Load(const QString& path) {
    QImageReader reader(path);
    return reader.read();
}

} // namespace

QString PictureCache::FileOfName(const QString& name) {
    const QFileInfo exact(name);
    if (Usable(exact))
        return exact.filePath();
    const QString fileName = exact.fileName();
    if (fileName.isEmpty())
        return {};
    // Markup lower-cases picture names, so on a case-sensitive file system the file's own spelling is
    // found by listing its folder, once: many names in one folder must not list it again and again.
    const QString folder = exact.absolutePath();
    auto listed = m_folders.find(folder);
    if (listed == m_folders.end()) {
        QHash<QString, QString> files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden);
        while (it.hasNext()) {
            const QString entry = QFileInfo(it.next()).fileName();
            QString& kept = files[entry.toLower()];
            // Names that differ only in case: the same one wins whatever order the folder lists them in.
            if (kept.isEmpty() || entry < kept)
                kept = entry;
        }
        listed = m_folders.insert(folder, files);
    }
    const QString spelling = listed->value(fileName.toLower());
    if (spelling.isEmpty())
        return {};
    const QFileInfo found(folder + u'/' + spelling);
    return Usable(found) ? found.filePath() : QString();
}

std::optional<PictureRef> PictureCache::LookUp(const QString& name) {
    // No file or resource name holds a NUL; asking Qt's file functions would only get a warning printed.
    if (name.isEmpty() || name.contains(QChar(u'\0')))
        return std::nullopt;
    if (const auto kept = m_byName.constFind(name); kept != m_byName.constEnd())
        return kept->ref;

    Entry entry;
    for (const QString& path : {FileOfName(name), ResourcePath(name)}) {
        if (path.isEmpty())
            continue;
        entry.image = Load(path);
        if (!entry.image.isNull()) {
            entry.ref = PictureRef{path, entry.image.size()};
            break;
        }
    }
    return m_byName.insert(name, std::move(entry))->ref;
}

QImage PictureCache::Image(const QString& name, bool transparent) const {
    const auto kept = m_byName.constFind(name);
    if (kept == m_byName.constEnd() || kept->image.isNull())
        return {};
    if (!transparent)
        return kept->image;
    if (kept->transparent.isNull()) {
        QImage image = kept->image.convertToFormat(QImage::Format_ARGB32);
        // The colour of the bottom-left pixel is the one that lets the background through.
        const QRgb key = image.pixel(0, image.height() - 1);
        for (int row = 0; row < image.height(); ++row) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
            for (int col = 0; col < image.width(); ++col) {
                if (line[col] == key)
                    line[col] = qRgba(0, 0, 0, 0);
            }
        }
        kept->transparent = image;
    }
    return kept->transparent;
}

std::optional<PictureRef> FindPicture(const QString& name) {
    return PictureCache().LookUp(name);
}

} // namespace tevro
