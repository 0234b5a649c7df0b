#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace tevro {

namespace {

QMargins FrameMargins(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

QRect AvailableArea(const QWidget* window) {
    const QScreen* screen = window->screen() != nullptr ? window->screen() : QApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

// move() places the frame of a top-level window, so the target is the frame's corner.
bool Place(QWidget* window) {
    const QRect area = AvailableArea(window);
    if (area.isEmpty())
        return true;
    const QPoint target = BottomLeftFramePosition(area, window->size(), FrameMargins(window));
    if (window->frameGeometry().topLeft() == target)
        return true;
    window->move(target);
    return false;
}

// Follows the first showing until the window manager has put its frame around the window.
class FramePlacer final : public QObject {
public:
    explicit FramePlacer(QWidget* window) : QObject(window), m_window(window) {
        m_poll.setInterval(50);
        connect(&m_poll, &QTimer::timeout, this, &FramePlacer::Check);
        window->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show && !m_poll.isActive()) {
            m_clock.start();
            m_poll.start();
        }
        return false;
    }

private:
    void Check() {
        const bool framed = !FrameMargins(m_window).isNull();
        const bool placed = Place(m_window);
        if ((framed && placed) || m_clock.hasExpired(2000))
            deleteLater();
    }

    QWidget* m_window;
    QTimer m_poll;
    QElapsedTimer m_clock;
};

} // namespace

QPoint BottomLeftFramePosition(const QRect& available, const QSize& client, const QMargins& frame, int margin) {
    const int frameHeight = frame.top() + client.height() + frame.bottom();
    return {available.left() + margin, available.bottom() + 1 - margin - frameHeight};
}

void PlaceAtBottomLeft(QWidget* window) {
    Place(window);
    new FramePlacer(window);
}

} // namespace tevro
