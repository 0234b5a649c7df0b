// Where the main window stands: its whole frame, title bar included, 4 pixels inside the bottom-left
// corner of the screen's available area.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace tevro {

// The frame's top-left corner for a client area of `client` size inside a frame of `frame` margins.
QPoint BottomLeftFramePosition(const QRect& available, const QSize& client, const QMargins& frame,
                               int margin = 4);

// Places `window` now, by the frame it has so far, and again once the window manager has framed it:
// the frame's size is known only after the first showing. Stops following after that, or after two
// seconds without a frame, so a window the user moves stays where it was put.
void PlaceAtBottomLeft(QWidget* window);

} // namespace tevro
