// Painting of the vertical gauge. A hand-made widget because the toolkit's progress bar turns an empty
// range (maximum 0) into a "busy" animation, and the inactive state is exactly that range.
#include "ui/Gauge.h"

#include <QPainter>
#include <algorithm>

namespace tevro {

Gauge::Gauge(QWidget* parent) : QWidget(parent) {}

void Gauge::SetMinValue(int value) {
    m_min = value;
    update();
}

void Gauge::SetMaxValue(int value) {
    m_max = value;
    update();
}

void Gauge::SetProgress(int value) {
    m_progress = value;
    update();
}

void Gauge::SetColors(const QColor& background, const QColor& fill) {
    m_background = background;
    m_fill = fill;
    update();
}

int Gauge::FillHeight(int min, int max, int progress, int height) {
    if (max <= min || height <= 0)
        return 0;
    const qint64 done = std::clamp(progress, min, max) - qint64(min);
    return static_cast<int>(done * height / (qint64(max) - min));
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect();
    const QRect inner = frame.adjusted(1, 1, -1, -1);
    painter.fillRect(frame, palette().color(QPalette::Mid));
    painter.fillRect(inner, m_background);
    const int fill = FillHeight(m_min, m_max, m_progress, inner.height());
    if (fill > 0)
        painter.fillRect(QRect(inner.left(), inner.bottom() - fill + 1, inner.width(), fill), m_fill);
}

} // namespace tevro
