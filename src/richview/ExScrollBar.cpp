// The scroll bar's pressed state; everything else is the stock scroll bar.
#include "richview/ExScrollBar.h"

#include <QGuiApplication>
#include <QMouseEvent>

TExScrollBar::TExScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {
    // Moves without a button held must reach us, or the flag would stay set until the next drag.
    setMouseTracking(true);
}

void TExScrollBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    QScrollBar::mousePressEvent(event);
}

void TExScrollBar::mouseMoveEvent(QMouseEvent* event) {
    // While the button is down Qt keeps sending moves to the bar (it grabs the mouse); those belong
    // to the drag, so only a move after the release ends the pressed state.
    if (event->buttons() == Qt::NoButton)
        m_pressed = false;
    QScrollBar::mouseMoveEvent(event);
}

void TExScrollBar::leaveEvent(QEvent* event) {
    if (QGuiApplication::mouseButtons() == Qt::NoButton)
        m_pressed = false;
    QScrollBar::leaveEvent(event);
}
