// Which window a message box stands over; the part of MessageBox.h that asks the running application.
#include "ui/MessageBox.h"

#include <QApplication>
#include <QWidget>

namespace tevro {

QWidget* DialogOwner(QWidget* fallback) {
    QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr ? modal : fallback;
}

Qt::WindowFlags DialogFlags() {
    Qt::WindowFlags flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint;
    for (const QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            flags |= Qt::WindowStaysOnTopHint;
    return flags;
}

} // namespace tevro
