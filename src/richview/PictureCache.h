// Pictures named in markup: found once per name, loaded once, kept for the view's lifetime, so that
// painting never goes to the file system.
#pragma once

#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace tevro {

// A picture found for a pic attribute: where it was loaded from (a file path or a ":/" resource path) and
// its size in pixels.
struct PictureRef {
    QString path;
    QSize size;
};

class PictureCache {
public:
    // Looks a picture name up: a file of exactly that name (relative to the folder current at the first
    // look-up), else a file in that folder whose name differs only in letter case, else the program's
    // resources by case-blind name. A file or resource that is not a readable image does not count. The
    // answer, found or not, is kept: each name goes to the file system once, each folder is listed once.
    std::optional<PictureRef> LookUp(const QString& name);

    // The picture an earlier LookUp found under `name`, made transparent where its bottom-left pixel's
    // colour is; a null image when none was found. Never touches the file system.
    QImage Image(const QString& name, bool transparent) const;

private:
    struct Entry {
        std::optional<PictureRef> ref;
        QImage image;
        mutable QImage transparent; // made on first use
    };

    QString FileOfName(const QString& name);

    QHash<QString, Entry> m_byName;
    QHash<QString, QHash<QString, QString>> m_folders; // absolute folder -> folded file name -> its spelling
};

// One uncached look-up, as PictureCache::LookUp does it.
std::optional<PictureRef> FindPicture(const QString& name);

} // namespace tevro
