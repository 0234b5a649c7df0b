// A plain vertical progress gauge: coloured background, coloured fill from the bottom, no text.
#pragma once

#include <QColor>
#include <QWidget>

namespace tevro {

class Gauge : public QWidget {
public:
    explicit Gauge(QWidget* parent = nullptr);

    int MinValue() const { return m_min; }
    int MaxValue() const { return m_max; }
    int Progress() const { return m_progress; }
    void SetMinValue(int value);
    void SetMaxValue(int value);
    void SetProgress(int value);

    void SetColors(const QColor& background, const QColor& fill);

    // Filled share of `height` pixels; an empty range fills nothing.
    static int FillHeight(int min, int max, int progress, int height);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_min = 0;
    int m_max = 100;
    int m_progress = 0;
    QColor m_background = Qt::white;
    QColor m_fill = Qt::black;
};

} // namespace tevro
