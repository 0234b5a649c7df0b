// The font look-up shared by the parser and the view.
#include "richview/RichViewContext.h"

#include <QFontDatabase>
#include <algorithm>

namespace tevro {

bool IsInstalledFont(const QString& name) {
    if (name.isEmpty())
        return false;
    const QStringList families = QFontDatabase::families();
    return std::any_of(families.cbegin(), families.cend(),
                       [&](const QString& f) { return f.compare(name, Qt::CaseInsensitive) == 0; });
}

} // namespace tevro
