// The bar chart: its compact storage, and what it draws at a device pixel ratio of 2.
#include "chart/BarChart.h"

#include <QDateTime>
#include <QImage>
#include <QSet>
#include <gtest/gtest.h>

namespace tevro {
namespace {

TEST(BarSeries, KeepsEveryBarAcrossItsChunksAndFormatsLabelsWhenAsked) {
    BarSeries series(QStringLiteral("Series1"));
    const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(23, 58)).toMSecsSinceEpoch();
    const QColor colours[] = {Qt::red, QColor(0, 128, 0), QColor(255, 128, 0)};
    for (int i = 0; i < 10000; ++i)
        series.Add(i - 10, start + i * 60000LL, colours[i % 3]);
    ASSERT_EQ(series.Count(), 10000);
    for (const qsizetype i : {0, 4095, 4096, 4097, 9999}) {
        EXPECT_EQ(series.Value(i), static_cast<double>(i - 10)) << i;
        EXPECT_EQ(series.Colour(i), colours[i % 3]) << i;
    }
    EXPECT_EQ(series.Label(1), QStringLiteral("23:59"));
    EXPECT_EQ(series.Label(2), QStringLiteral("00:00")) << "past midnight";
    series.SetLabelFormat(QStringLiteral("dd.MM hh:mm"));
    EXPECT_EQ(series.Label(2), QStringLiteral("08.12 00:00"));

    series.Clear();
    EXPECT_EQ(series.Count(), 0);
    series.Add(7, start, Qt::blue);
    EXPECT_EQ(series.Colour(0), QColor(Qt::blue)) << "the palette starts again too";
}

TEST(BarSeries, ColoursBeyondThePaletteTakeTheNearestKeptOne) {
    BarSeries series;
    for (int i = 0; i < BarSeries::kMaxColours; ++i)
        series.Add(1, 0, QColor(i, 0, 0));
    series.Add(1, 0, QColor(250, 3, 1));
    EXPECT_EQ(series.Colour(BarSeries::kMaxColours), QColor(250, 0, 0));
    EXPECT_EQ(series.Colour(17), QColor(17, 0, 0));
}

// Distinct colours along a row or column of `image` between two positions.
QSet<QRgb> Colours(const QImage& image, QPoint from, QPoint to) {
    QSet<QRgb> seen;
    const QPoint step(from.x() == to.x() ? 0 : 1, from.x() == to.x() ? 1 : 0);
    for (QPoint p = from; p != to + step; p += step)
        seen.insert(image.pixel(p));
    return seen;
}

TEST(BarChart, DrawsTheVisiblePageWithSharpEdgesAtPixelRatioTwo) {
    BarChart chart(QStringLiteral("Series1"));
    chart.resize(412, 224);
    chart.SetPointsPerPage(32);
    chart.SetAxisMinimum(BarChart::Axis::Left, 0);
    chart.SetAxisMaximum(BarChart::Axis::Left, 100);
    chart.AddTitleLine(QStringLiteral("Graph for <h>."));
    const QColor green(0, 128, 0);
    for (int i = 0; i < 50; ++i)
        chart.AddBar(i == 10 ? 90 : 50, 0, i == 10 ? QColor(Qt::blue) : green);
    chart.ShiftAxis(BarChart::Axis::Bottom, 10); // bars 10..41

    QImage image(chart.size() * 2, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    chart.render(&image);
    const QRectF plot = chart.PlotArea();
    const double slot = plot.width() / 32;
    auto at = [&](double x, double value) {
        return QPoint(static_cast<int>(x * 2),
                      static_cast<int>((plot.bottom() - value / 100 * plot.height()) * 2));
    };
    EXPECT_EQ(image.pixelColor(at(plot.left() + slot / 2, 80)), QColor(Qt::blue)) << "bar 10 leads the page";
    EXPECT_EQ(image.pixelColor(at(plot.right() - slot / 2, 40)), green) << "bar 41 ends it";

    // Across the bars and down through one: only whole colours, no blended edges.
    const QPoint rowFrom = at(plot.left() + 2, 25), rowTo = at(plot.right() - 2, 25);
    const QSet<QRgb> row = Colours(image, rowFrom, rowTo);
    EXPECT_TRUE(row.contains(QColor(Qt::blue).rgb()) && row.contains(green.rgb()));
    EXPECT_LE(row.size(), 4) << "background, two bar colours, a grid line";
    const double centre = plot.left() + 1.5 * slot;
    EXPECT_LE(Colours(image, at(centre, 99), at(centre, 1)).size(), 3) << "background, grid, bar";
}

} // namespace
} // namespace tevro
