// Layout and painting of the bar chart.
#include "chart/BarChart.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tevro {
namespace {

constexpr double kOuterMargin = 4;
constexpr double kRightMargin = 8; // the last bar's label is centred on it and needs room
constexpr double kTickLength = 3;
constexpr double kLabelGap = 2;
constexpr double kBarWidthShare = 0.7;
const QColor kGridColour(226, 222, 178);
const QColor kZeroLineColour(150, 150, 130);
const QColor kAxisColour(64, 64, 64);
const QColor kFrameColour(96, 96, 96);

// Rounds a logical coordinate onto the device's pixel grid, so that edges stay sharp at any pixel ratio.
class Snap {
public:
    explicit Snap(qreal ratio) : m_ratio(ratio > 0 ? ratio : 1) {}
    double operator()(double v) const { return std::round(v * m_ratio) / m_ratio; }
    double Pixel() const { return 1 / m_ratio; }
    // A line one logical pixel thick, as a rectangle on whole device pixels.
    QRectF HLine(double x0, double x1, double y) const {
        return {(*this)(x0), (*this)(y), (*this)(x1) - (*this)(x0), Thick()};
    }
    QRectF VLine(double x, double y0, double y1) const {
        return {(*this)(x), (*this)(y0), Thick(), (*this)(y1) - (*this)(y0)};
    }

private:
    double Thick() const { return std::max(1.0, std::round(m_ratio)) / m_ratio; }
    qreal m_ratio;
};

QString TickText(double value) {
    return QString::number(value, 'g', 6);
}

} // namespace

double NiceTickStep(double span, int maxTicks) {
    if (!(span > 0) || maxTicks < 1)
        return 0;
    const double raw = span / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (factor * magnitude >= raw)
            return factor * magnitude;
    return 10 * magnitude;
}

struct BarChart::Layout {
    QRectF titleFrame; // empty without title lines
    QRectF plot;
    double tickStep = 0;
    double labelArea = 0; // height of the rotated bottom labels
};

BarChart::BarChart(const QString& seriesName, QWidget* parent) : QWidget(parent), m_series(seriesName) {
    // Arial where it is installed, else a face with its metrics.
    m_titleFont.setFamilies(
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    m_titleFont.setStyleHint(QFont::SansSerif);
    m_titleFont.setPixelSize(13);
    m_titleFont.setBold(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

const BarSeries* BarChart::FindSeries(const QString& name) const {
    return name.compare(m_series.Name(), Qt::CaseInsensitive) == 0 ? &m_series : nullptr;
}

void BarChart::AddBar(double value, qint64 moment, const QColor& colour) {
    m_series.Add(value, moment, colour);
    update();
}

void BarChart::ClearBars() {
    m_series.Clear();
    update();
}

void BarChart::ClearTitle() {
    m_titleLines.clear();
    update();
}

void BarChart::AddTitleLine(const QString& line) {
    m_titleLines << line;
    update();
}

void BarChart::SetTitleColour(const QColor& colour) {
    m_titleColour = colour;
    update();
}

void BarChart::SetAxisMinimum(Axis axis, double value) {
    Range(axis).minimum = value;
    update();
}

void BarChart::SetAxisMaximum(Axis axis, double value) {
    Range(axis).maximum = value;
    update();
}

void BarChart::ShiftAxis(Axis axis, double offset) {
    Range(axis).minimum += offset;
    Range(axis).maximum += offset;
    update();
}

void BarChart::SetPointsPerPage(int points) {
    m_pointsPerPage = std::max(0, points);
    update();
}

QRectF BarChart::PlotArea() const {
    return ComputeLayout().plot;
}

BarChart::Layout BarChart::ComputeLayout() const {
    Layout layout;
    const QFontMetricsF axisMetrics(font());
    double top = kOuterMargin;
    if (!m_titleLines.isEmpty()) {
        const QFontMetricsF titleMetrics(m_titleFont);
        double textWidth = 0;
        for (const QString& line : m_titleLines)
            textWidth = std::max(textWidth, titleMetrics.horizontalAdvance(line));
        const double available = width() - 2 * kOuterMargin;
        const double frameWidth = std::min(textWidth + 10, available);
        const double frameHeight = titleMetrics.height() * static_cast<double>(m_titleLines.size()) + 4;
        layout.titleFrame = QRectF(kOuterMargin + (available - frameWidth) / 2, top, frameWidth, frameHeight);
        top = layout.titleFrame.bottom() + 6;
    }

    // The rotated time labels need the width of the widest label the format can give.
    layout.labelArea = axisMetrics.horizontalAdvance(QStringLiteral("00:00")) + kTickLength + kLabelGap + 2;
    const double bottom = height() - kOuterMargin - layout.labelArea;
    // A half line above the top and below the bottom of the plot leaves room for its extreme tick labels.
    const double halfLine = axisMetrics.height() / 2;
    const double plotTop = top + halfLine;
    const double plotHeight = std::max(0.0, bottom - plotTop);
    const int maxTicks = std::max(1, static_cast<int>(plotHeight / (axisMetrics.height() * 1.6)));
    layout.tickStep = NiceTickStep(m_left.maximum - m_left.minimum, maxTicks);

    double tickWidth = 0;
    if (layout.tickStep > 0) {
        const double first = std::ceil(m_left.minimum / layout.tickStep) * layout.tickStep;
        for (double v = first; v <= m_left.maximum + layout.tickStep * 1e-9; v += layout.tickStep)
            tickWidth = std::max(tickWidth, axisMetrics.horizontalAdvance(TickText(v)));
    }
    const double left = kOuterMargin + tickWidth + kLabelGap + kTickLength;
    layout.plot = QRectF(left, plotTop, std::max(0.0, width() - kRightMargin - left), plotHeight);
    return layout;
}

void BarChart::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), BackgroundColour());
    const Snap snap(painter.device()->devicePixelRatioF());
    const Layout layout = ComputeLayout();
    const QRectF plot = layout.plot;

    if (!m_titleLines.isEmpty()) {
        painter.setFont(m_titleFont);
        QPen dashed(kFrameColour, 1, Qt::DashLine);
        dashed.setCosmetic(true);
        painter.setPen(dashed);
        const QRectF frame = layout.titleFrame;
        const double half = snap.Pixel() / 2;
        painter.drawRect(QRectF(snap(frame.left()) + half, snap(frame.top()) + half,
                                snap(frame.width()) - snap.Pixel(), snap(frame.height()) - snap.Pixel()));
        painter.setPen(m_titleColour);
        const QFontMetricsF metrics(m_titleFont);
        double y = frame.top() + 2;
        for (const QString& line : m_titleLines) {
            const QString shown = metrics.elidedText(line, Qt::ElideMiddle, frame.width() - 6);
            painter.drawText(QRectF(frame.left(), snap(y), frame.width(), metrics.height()), Qt::AlignCenter,
                             shown);
            y += metrics.height();
        }
    }

    const double yMin = m_left.minimum;
    const double ySpan = m_left.maximum - yMin;
    if (plot.width() <= 0 || plot.height() <= 0 || !(ySpan > 0))
        return;
    auto yOf = [&](double v) { return plot.bottom() - (v - yMin) / ySpan * plot.height(); };

    // Grid and tick labels of the left axis.
    painter.setFont(font());
    const QFontMetricsF axisMetrics(font());
    if (layout.tickStep > 0) {
        const double first = std::ceil(yMin / layout.tickStep) * layout.tickStep;
        for (double v = first; v <= m_left.maximum + layout.tickStep * 1e-9; v += layout.tickStep) {
            const double y = yOf(v);
            painter.fillRect(snap.HLine(plot.left(), plot.right(), y), kGridColour);
            painter.fillRect(snap.HLine(plot.left() - kTickLength, plot.left(), y), kAxisColour);
            painter.setPen(Qt::black);
            const QRectF textBox(0, y - axisMetrics.height() / 2, plot.left() - kTickLength - kLabelGap,
                                 axisMetrics.height());
            painter.drawText(textBox, Qt::AlignRight | Qt::AlignVCenter,
                             TickText(std::abs(v) < 1e-9 ? 0 : v));
        }
    }
    if (yMin < 0 && m_left.maximum > 0)
        painter.fillRect(snap.HLine(plot.left(), plot.right(), yOf(0)), kZeroLineColour);

    // The bars of the visible page only.
    const double xMin = m_bottom.minimum;
    const double positions = m_pointsPerPage > 0 ? m_pointsPerPage : m_bottom.maximum - xMin + 1;
    if (positions > 0 && m_bottom.maximum >= xMin) {
        const double slot = plot.width() / positions;
        const double barWidth = std::max(snap.Pixel(), slot * kBarWidthShare);
        const double lastShown = std::min(m_bottom.maximum, xMin + positions - 1);
        const auto first = static_cast<qsizetype>(std::max(0.0, std::ceil(xMin)));
        const auto last = static_cast<qsizetype>(
            std::min(static_cast<double>(m_series.Count() - 1), std::floor(lastShown)));
        const double zero = std::clamp(yOf(0), plot.top(), plot.bottom());
        const double labelTop = plot.bottom() + kTickLength + kLabelGap;
        for (qsizetype i = first; i <= last; ++i) {
            const double centre = plot.left() + (static_cast<double>(i) - xMin + 0.5) * slot;
            const double top = std::clamp(yOf(m_series.Value(i)), plot.top(), plot.bottom());
            const double x0 = snap(centre - barWidth / 2);
            const double x1 = std::max(x0 + snap.Pixel(), snap(centre + barWidth / 2));
            const double y0 = snap(std::min(top, zero));
            const double y1 = snap(std::max(top, zero));
            painter.fillRect(QRectF(x0, y0, x1 - x0, y1 - y0), m_series.Colour(i));

            painter.fillRect(snap.VLine(centre, plot.bottom(), plot.bottom() + kTickLength), kAxisColour);
            // Turned a quarter to the left: the label reads upwards and ends at the axis.
            painter.save();
            painter.translate(snap(centre), labelTop);
            painter.rotate(-90);
            painter.setPen(Qt::black);
            painter.drawText(
                QRectF(-layout.labelArea, -axisMetrics.height() / 2, layout.labelArea, axisMetrics.height()),
                Qt::AlignRight | Qt::AlignVCenter, m_series.Label(i));
            painter.restore();
        }
    }

    painter.fillRect(snap.VLine(plot.left(), plot.top(), plot.bottom() + snap.Pixel()), kAxisColour);
    painter.fillRect(snap.HLine(plot.left(), plot.right(), plot.bottom()), kAxisColour);
}

} // namespace tevro
