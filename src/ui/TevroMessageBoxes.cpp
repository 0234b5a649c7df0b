// The main window's message boxes: beside the window or centred on the screen, waited for or not, and
// never hidden under a modal or always-on-top window of the program.
#include "ui/MessageBox.h"
#include "ui/Tevro_u.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <memory>

QMessageBox::StandardButton TF_Tevro::ShowMessageBox(const QString& text, tevro::MessageKind kind,
                                                     QMessageBox::StandardButtons buttons, int) {
    return RunMessageBox(text, kind, buttons, false);
}

QMessageBox::StandardButton TF_Tevro::ShowCenteredMessageBox(const QString& text, tevro::MessageKind kind,
                                                             QMessageBox::StandardButtons buttons) {
    return RunMessageBox(text, kind, buttons, true);
}

void TF_Tevro::ShowMessageBoxWithoutWaiting(const QString& text, tevro::MessageKind kind) {
    RunMessageBox(text, kind, QMessageBox::Ok, false, false);
}

QMessageBox::StandardButton TF_Tevro::RunMessageBox(const QString& text, tevro::MessageKind kind,
                                                    QMessageBox::StandardButtons buttons, bool centred,
                                                    bool wait) {
    if (m_env.messageBox)
        return m_env.messageBox(text, kind, buttons, centred || isMinimized() || !isVisible());
    if (!wait) {
        // Made once the event loop runs: by then a window being started is shown, and the box goes
        // beside it and above it, as every other box does.
        QTimer::singleShot(0, this, [this, text, kind, buttons, centred] {
            QMessageBox* box = MakeMessageBox(text, kind, buttons, centred);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            box->show();
        });
        return QMessageBox::NoButton;
    }
    const std::unique_ptr<QMessageBox> box(MakeMessageBox(text, kind, buttons, centred));
    return static_cast<QMessageBox::StandardButton>(box->exec());
}

QMessageBox* TF_Tevro::MakeMessageBox(const QString& text, tevro::MessageKind kind,
                                      QMessageBox::StandardButtons buttons, bool centred) {
    static const QMessageBox::Icon kIcons[] = {QMessageBox::Warning, QMessageBox::Critical,
                                               QMessageBox::Information, QMessageBox::Question};
    auto* box = new QMessageBox(kIcons[static_cast<int>(kind)], tevro::MessageKindTitle(kind),
                                tevro::DialogText(text), buttons, tevro::DialogOwner(this), tevro::DialogFlags());
    box->adjustSize();
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QApplication::primaryScreen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    const bool minimized = isMinimized() || !isVisible();
    box->move(tevro::MessageBoxPosition(centred || minimized, frameGeometry(), box->size(), available));
    return box;
}
