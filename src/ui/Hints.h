// Hints: "short|long" texts whose long part is shown in the main window's status line.
#pragma once

#include <QString>

class QObject;
class QWidget;

namespace tevro {

// The text after the first "|", or the whole hint when it has none.
QString HintLongPart(const QString& hint);

// The status line for a hint: " %s .." with the long part untrimmed, or empty when that part is blank.
QString StatusLineText(const QString& hint);

// Hints are kept as a dynamic property so that widgets and menu actions carry them alike.
void SetHint(QObject* object, const QString& hint);
QString HintOf(const QObject* object);

// The hint of `widget` or of the nearest enclosing widget that has one, stopping at its window.
QString EffectiveHint(const QWidget* widget);

} // namespace tevro
