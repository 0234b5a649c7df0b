#include "ui/DialogOwner.h"

#include <QApplication>
#include <QWidget>

namespace tevro {

void SetDialogOwner(QWidget& box, QWidget* fallback) {
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr || owner == &box)
        owner = fallback;
    Qt::WindowFlags flags = box.windowFlags();
    for (const QWidget* window : QApplication::topLevelWidgets())
        if (window != &box && window->isVisible() && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            flags |= Qt::WindowStaysOnTopHint;
    box.setParent(owner, flags);
}

} // namespace tevro
