// TExScrollBar: the text view's vertical scroll bar, which tells whether the user is holding it.
#pragma once

#include <QScrollBar>

// A scroll bar that knows when the user has grabbed it, so that a view appending text can leave
// the position alone while the user holds or drags the bar.
class TExScrollBar : public QScrollBar {
    Q_OBJECT
    Q_PROPERTY(bool Pressed READ Pressed)

public:
    explicit TExScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // True from a left-button press on the bar until the mouse next moves over the bar with no
    // button held (or leaves it); a drag in between keeps it set.
    bool Pressed() const { return m_pressed; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_pressed = false;
};
