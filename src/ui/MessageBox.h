// The program's message boxes: kinds, dialog text and where a box is placed.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

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

} // namespace tevro
