// Resource names are kept as their own spelling ("Help_Icon") and matched case-blind,
// so a markup picture tag or a caller may write them in any case.
#include "common/Resources.h"

#include <QDir>
#include <QFile>
#include <QHash>

// Q_INIT_RESOURCE must be called outside any namespace; it also keeps the linker from dropping
// the resource object out of this static library.
static void InitTevroResources() { Q_INIT_RESOURCE(tevro); }

namespace tevro {
namespace {

const QString kRoot = QStringLiteral(":/tevro");

struct ResourceIndex {
    QHash<QString, QString> byFoldedName; // lower-case name -> resource path
    QStringList names;

    ResourceIndex() {
        InitTevroResources();
        const QStringList entries = QDir(kRoot).entryList(QDir::Files, QDir::Name);
        for (const QString& entry : entries) {
            byFoldedName.insert(entry.toLower(), kRoot + QLatin1Char('/') + entry);
            names.append(entry);
        }
    }
};

const ResourceIndex& Index() {
    static const ResourceIndex index; // thread-safe one-time initialisation
    return index;
}

} // namespace

QString ResourcePath(const QString& name) { return Index().byFoldedName.value(name.toLower()); }

QByteArray ResourceData(const QString& name, bool* found) {
    const QString path = ResourcePath(name);
    QFile file(path);
    const bool ok = !path.isEmpty() && file.open(QIODevice::ReadOnly);
    if (found != nullptr)
        *found = ok;
    return ok ? file.readAll() : QByteArray();
}

QStringList ResourceNames() { return Index().names; }

} // namespace tevro
