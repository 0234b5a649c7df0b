// Message box text and placement arithmetic, kept apart from the dialog so it is testable.
#include "ui/MessageBox.h"

#include <algorithm>

namespace tevro {

QString MessageKindTitle(MessageKind kind) {
    switch (kind) {
    case MessageKind::Warning:
        return QStringLiteral("Warning");
    case MessageKind::Error:
        return QStringLiteral("Error");
    case MessageKind::Information:
        return QStringLiteral("Information");
    case MessageKind::Confirmation:
        return QStringLiteral("Confirm");
    }
    return QString();
}

QString DialogText(const QString& text) {
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

QPoint MessageBoxPosition(bool minimized, const QRect& window, const QSize& box, const QRect& screen) {
    if (minimized)
        return QPoint(screen.x() + (screen.width() - box.width()) / 2,
                      screen.y() + (screen.height() - box.height()) / 2);
    QPoint at = window.topLeft() + QPoint(16, 16);
    if (screen.isEmpty())
        return at;
    // The window sits at the screen's bottom edge: a tall box beside it would hide its buttons below the
    // screen, so it is pushed back onto the screen.
    at.setX(std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - box.width())));
    at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - box.height())));
    return at;
}

} // namespace tevro
