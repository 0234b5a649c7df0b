// The program's message boxes: kinds, dialog text, where a box is placed and what it stands over.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace tevro {

enum class MessageKind { Warning, Error, Information, Confirmation };

// The dialog's title for a kind ("Warning", "Error", ...).
QString MessageKindTitle(MessageKind kind);

// The program's texts break lines with CR (sometimes CR LF); the dialog wants LF.
QString DialogText(const QString& text);

// Top-left corner of a box of `box` size: centred on `screen` while the program is minimised,
// otherwise 16 pixels right of and below the main window's top-left corner (`window` is its frame),
// moved only as far as needed to keep the box on `screen`.
QPoint MessageBoxPosition(bool minimized, const QRect& window, const QSize& box, const QRect& screen);

// The window a box opened now belongs to: the modal dialog the user is working in, else `fallback`.
QWidget* DialogOwner(QWidget* fallback);
// A box's window flags: a dialog's, staying on top while one of the program's windows does (the alert),
// so that a question never waits unseen under the window that asked it.
Qt::WindowFlags DialogFlags();

} // namespace tevro
