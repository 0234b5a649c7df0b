// BarChart: a small bar chart drawn with QPainter. One series of bars, each with its own colour, a
// title of several lines in a dashed frame, and axes whose windows the program sets; only the bars of
// the visible page are drawn, however many the series holds.
#pragma once

#include "chart/BarSeries.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QStringList>
#include <QWidget>

namespace tevro {

// The window of values an axis shows. Nothing is automatic: the owner sets both ends.
struct AxisRange {
    double minimum = 0;
    double maximum = 0;
};

class BarChart : public QWidget {
public:
    enum class Axis { Left, Bottom };

    explicit BarChart(const QString& seriesName, QWidget* parent = nullptr);

    // The one series; FindSeries matches its name without regard to case.
    const BarSeries& Series() const { return m_series; }
    const BarSeries* FindSeries(const QString& name) const;

    // Appends a bar at x = BarCount() and repaints.
    void AddBar(double value, qint64 moment, const QColor& colour);
    void ClearBars();
    qsizetype BarCount() const { return m_series.Count(); }

    void ClearTitle();
    void AddTitleLine(const QString& line);
    QStringList TitleLines() const { return m_titleLines; }
    void SetTitleColour(const QColor& colour);
    QColor TitleColour() const { return m_titleColour; }

    // Either end may be set to anything: a minimum above the maximum leaves the axis (and the bars) undrawn.
    double AxisMinimum(Axis axis) const { return Range(axis).minimum; }
    double AxisMaximum(Axis axis) const { return Range(axis).maximum; }
    void SetAxisMinimum(Axis axis, double value);
    void SetAxisMaximum(Axis axis, double value);
    // Moves both ends by `offset`, without any range check.
    void ShiftAxis(Axis axis, double offset);

    // Every bar is as wide as one of this many positions of the bottom axis; 0 divides the axis window.
    void SetPointsPerPage(int points);
    int PointsPerPage() const { return m_pointsPerPage; }

    // Where the bars are drawn, in widget coordinates.
    QRectF PlotArea() const;

    static QColor BackgroundColour() { return {255, 255, 216}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Layout;
    Layout ComputeLayout() const;
    AxisRange& Range(Axis axis) { return axis == Axis::Left ? m_left : m_bottom; }
    const AxisRange& Range(Axis axis) const { return axis == Axis::Left ? m_left : m_bottom; }

    BarSeries m_series;
    QStringList m_titleLines;
    QColor m_titleColour = Qt::blue;
    QFont m_titleFont;
    AxisRange m_left{0, 100};
    AxisRange m_bottom{0, 31};
    int m_pointsPerPage = 0;
};

// Tick spacing for an axis window of `span` that is to carry at most `maxTicks` ticks: 1, 2 or 5 times a
// power of ten.
double NiceTickStep(double span, int maxTicks);

} // namespace tevro
