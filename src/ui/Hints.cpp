// Hint parsing and the look-up through enclosing widgets.
#include "ui/Hints.h"

#include <QVariant>
#include <QWidget>

namespace tevro {
namespace {
constexpr char kHintProperty[] = "tevroHint";
}

QString HintLongPart(const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}

QString StatusLineText(const QString& hint) {
    const QString text = HintLongPart(hint);
    if (text.trimmed().isEmpty())
        return QString();
    return QLatin1Char(' ') + text + QStringLiteral(" ..");
}

void SetHint(QObject* object, const QString& hint) {
    object->setProperty(kHintProperty, hint);
}

QString HintOf(const QObject* object) {
    return object->property(kHintProperty).toString();
}

QString EffectiveHint(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        const QString hint = HintOf(w);
        if (!hint.isEmpty() || w->isWindow())
            return hint;
    }
    return QString();
}

} // namespace tevro
