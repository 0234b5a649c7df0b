// The graph window over a real main window: paging, the drawn bars, the stored scale, closing, and the
// results that result processing feeds it.
#include "chart/BarChart.h"
#include "common/Product.h"
#include "monitor/ScriptedPingWorkers.h"
#include "support/WindowFixture.h"
#include "ui/Graph_u.h"
#include "ui/Hints.h"
#include "ui/SpinEdit.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QToolButton>

namespace tevro::test {
namespace {

using Axis = BarChart::Axis;

class GraphWindow : public WindowFixture {
protected:
    // The main window with its graph window, as the program creates them.
    std::pair<std::unique_ptr<TF_Tevro>, TF_Graph*> Windows() {
        auto w = MakeWindow();
        auto* graph = new TF_Graph(*w); // a child of the main window, which deletes it first
        return {std::move(w), graph};
    }

    static std::pair<double, double> Window(const TF_Graph& g) {
        return {g.Chart1->AxisMinimum(Axis::Bottom), g.Chart1->AxisMaximum(Axis::Bottom)};
    }
    static std::pair<double, double> Page(double first) { return {first, first + 31}; }
};

TEST_F(GraphWindow, ClearingGivesAnEmptyFirstPageWithTheProductTitle) {
    auto [w, g] = Windows();
    g->SetGraphTitle(QStringLiteral("Graph for <a>\r\nLast ping attempt failed"), -1, 100);
    for (int i = 0; i < 40; ++i)
        g->AddGraphBar(1, 20, 0);
    EXPECT_TRUE(g->Button1->isEnabled());
    g->Button1->click();

    EXPECT_EQ(g->Chart1->BarCount(), 0);
    EXPECT_EQ(Window(*g), Page(0));
    EXPECT_FALSE(g->ScrollBar1->isEnabled());
    EXPECT_EQ(g->ScrollBar1->maximum(), 0);
    EXPECT_FALSE(g->Button1->isEnabled());
    EXPECT_EQ(g->Chart1->TitleLines(), QStringList{ProductLine() + QLatin1Char('.')});
    EXPECT_EQ(g->Chart1->TitleColour(), QColor(0, 0, 255));
    EXPECT_EQ(HintOf(g->Chart1), QString());
}

TEST_F(GraphWindow, TheThirtyThirdBarStartsPagingAndNewBarsBringTheNewestPage) {
    auto [w, g] = Windows();
    for (int i = 0; i < 32; ++i)
        g->AddGraphBar(1, 10, 0);
    EXPECT_EQ(Window(*g), Page(0));
    EXPECT_FALSE(g->ScrollBar1->isEnabled());

    g->AddGraphBar(1, 10, 0);
    EXPECT_EQ(Window(*g), Page(1));
    EXPECT_TRUE(g->ScrollBar1->isEnabled());
    EXPECT_EQ(g->ScrollBar1->minimum(), 0);
    EXPECT_EQ(g->ScrollBar1->maximum(), 1);
    EXPECT_EQ(g->ScrollBar1->value(), 1);

    for (int i = 0; i < 30; ++i)
        g->AddGraphBar(1, 10, 0);
    ASSERT_EQ(g->ScrollBar1->value(), 31);
    // The user's scroll actions move the window by their step: one bar, or 21 beside the thumb.
    g->ScrollBar1->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(Window(*g), Page(30));
    g->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(Window(*g), Page(9));
    g->ScrollBar1->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(Window(*g), Page(0));
    EXPECT_EQ(g->ScrollBar1->value(), 0);

    g->AddGraphBar(1, 10, 0);
    EXPECT_EQ(Window(*g), Page(32)) << "a new bar shows the newest page again";
    EXPECT_EQ(g->ScrollBar1->value(), 32);
}

TEST_F(GraphWindow, BarsAreDrawnInTheResultsColourAndHeight) {
    auto [w, g] = Windows();
    g->SpinEdit1->setValue(100);
    const struct {
        int value, loss;
        QColor colour;
    } results[] = {{-1, 100, Qt::red},
                   {3, 0, QColor(0, 128, 0)},
                   {40, 33, QColor(255, 128, 0)},
                   {250, 0, QColor(0, 128, 0)}};
    for (const auto& r : results)
        g->AddGraphBar(1, r.value, r.loss);
    g->SetGraphTitle(QStringLiteral("Graph for <h>\r\nLast ping mean-time 40 ms"), 40, 33);
    EXPECT_EQ(g->Chart1->TitleLines(),
              (QStringList{QStringLiteral("Graph for <h>."), QStringLiteral("Last ping mean-time 40 ms.")}));
    EXPECT_EQ(g->Chart1->TitleColour(), QColor(255, 128, 0));
    EXPECT_EQ(HintOf(g->Chart1), QStringLiteral("|Graph for <h>. Last ping mean-time 40 ms"));

    const QImage image = g->Chart1->grab().toImage();
    const QRectF plot = g->Chart1->PlotArea();
    const double slot = plot.width() / 32;
    // The -10..100 axis as the test sees it, independently of the chart's own mapping.
    auto pixel = [&](int bar, double value) {
        const double x = plot.left() + (bar + 0.5) * slot;
        const double y = plot.bottom() - (value + 10) / 110 * plot.height();
        return image.pixelColor(static_cast<int>(x), static_cast<int>(y));
    };
    EXPECT_EQ(pixel(0, -9), QColor(Qt::red)) << "a failure reaches down to -10";
    EXPECT_EQ(pixel(0, -1.5), QColor(Qt::red));
    EXPECT_NE(pixel(0, 2), QColor(Qt::red));
    EXPECT_EQ(pixel(1, 4), results[1].colour) << "3 ms shows as 5";
    EXPECT_NE(pixel(1, 7.5), results[1].colour);
    EXPECT_EQ(pixel(2, 38), results[2].colour);
    EXPECT_NE(pixel(2, 43), results[2].colour);
    EXPECT_EQ(pixel(3, 98), results[3].colour) << "250 ms fills the plot";
    EXPECT_EQ(image.pixelColor(static_cast<int>(plot.left() + 3.5 * slot), static_cast<int>(plot.top()) - 2),
              BarChart::BackgroundColour())
        << "and is cut at its top";

    g->SetGraphTitle(QStringLiteral("Graph for <h>\r\nLast ping attempt failed"), -1, 100);
    EXPECT_EQ(g->Chart1->TitleLines().last(), QStringLiteral("Last ping attempt failed."));
    EXPECT_EQ(g->Chart1->TitleColour(), QColor(Qt::red));
    g->AddGraphBar(2, 10, 0);
    EXPECT_EQ(g->Chart1->BarCount(), 4) << "only Series1 exists";
}

TEST_F(GraphWindow, TheScaleIsClampedOnLoadAndSavedWhenTheProgramEnds) {
    for (const auto& [stored, shown] :
         {std::pair{"5000", 1000}, std::pair{"abc", 200}, std::pair{"20", 40}}) {
        WriteSettings(QByteArray("GraphYScale=") + stored + '\n');
        auto [w, g] = Windows();
        EXPECT_EQ(g->SpinEdit1->value(), shown) << stored;
        EXPECT_EQ(g->Chart1->AxisMaximum(Axis::Left), shown);
        EXPECT_EQ(g->Chart1->AxisMinimum(Axis::Left), -10);
    }
    {
        auto [w, g] = Windows();
        g->SpinEdit1->stepBy(3);
        EXPECT_EQ(g->Chart1->AxisMaximum(Axis::Left), 100);
        w->Row(1).Url->setText(QStringLiteral("kept"));
    }
    const QSettings stored(settings.FileName(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("GraphYScale")).toString(), QStringLiteral("100"));
    EXPECT_EQ(stored.value(QStringLiteral("Url_01")).toString(), QStringLiteral("kept"))
        << "the main window's save keeps the scale and adds its own values";
}

TEST_F(GraphWindow, ShowingFollowsTheMainWindowAndClosingOnlyHides) {
    auto [w, g] = Windows();
    w->show();
    EXPECT_TRUE(g->isVisible()) << "shown with the main window";
    EXPECT_EQ(g->windowTitle(), w->windowTitle());
    EXPECT_EQ(HintOf(g), HintOf(w.get()));
    g->AddGraphBar(1, 12, 0);

    g->close();
    EXPECT_FALSE(g->isVisible());
    EXPECT_FALSE(w->SB_Graph->isChecked()) << "the close button releases SB_Graph";
    w->SB_Graph->click();
    EXPECT_TRUE(g->isVisible());
    EXPECT_EQ(g->Chart1->BarCount(), 1) << "the bars are kept";

    // The graph's hints go to the main window's status line.
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(g->SpinEdit1, &enter);
    EXPECT_EQ(w->Status_Bar->text(),
              QStringLiteral(" Scale for y-axis. Minimum is 40 ms, maximum is 1000 ms .."));
}

TEST_F(GraphWindow, ResultProcessingFeedsTheGraphedSlot) {
    ScriptedPingWorkers workers;
    auto [w, g] = Windows();
    w->SetPingWorkerFactory(&workers);
    w->Row(1).Url->setText(QStringLiteral("127.0.0.1"));
    w->Row(2).Url->setText(QStringLiteral("gateway"));
    w->Row(2).Active->setChecked(true);
    w->Row(1).Active->setChecked(true);
    w->SetGraphChecked(1, true);
    w->B_RunStop->click();
    EXPECT_EQ(g->windowTitle(), w->windowTitle()) << "the switch copies the caption";
    EXPECT_TRUE(g->windowTitle().contains(QStringLiteral("[Running]")));

    workers.Finish(0, ScriptedPingWorkers::Success(0, 17));
    workers.Finish(1, ScriptedPingWorkers::Failure());
    ASSERT_EQ(g->Chart1->BarCount(), 1) << "only the graphed slot";
    EXPECT_EQ(g->Chart1->Series().Value(0), 17);
    EXPECT_EQ(g->Chart1->Series().Label(0), QStringLiteral("00:15"));
    EXPECT_EQ(g->Chart1->TitleLines(), (QStringList{QStringLiteral("Graph for <127.0.0.1>."),
                                                    QStringLiteral("Last ping mean-time 17 ms.")}));
    EXPECT_EQ(g->Chart1->TitleColour(), QColor(0, 128, 0));

    w->Timer1Timer(nullptr);
    workers.Finish(2, ScriptedPingWorkers::Failure());
    EXPECT_EQ(g->Chart1->TitleLines().value(1), QStringLiteral("Last ping attempt failed."));
    EXPECT_EQ(g->Chart1->Series().Value(1), -10);
    EXPECT_EQ(g->Chart1->Series().Colour(1), QColor(Qt::red));
    workers.Finish(3, ScriptedPingWorkers::Success());

    w->Row(2).Graph->click();
    EXPECT_EQ(g->Chart1->BarCount(), 0) << "another graphed host starts an empty graph";
    EXPECT_EQ(g->Chart1->TitleColour(), QColor(0, 0, 255));
    w->ShutdownPingWorkers();
}

TEST_F(GraphWindow, StandsAboveTheMainWindowUntilTheUserMovesIt) {
    auto [w, g] = Windows();
    const QRect screen = w->screen()->availableGeometry();
    w->show();
    w->move(screen.left() + 4, screen.top() + 500);
    EXPECT_EQ(g->frameGeometry().bottom(), w->frameGeometry().top() - 5);
    EXPECT_EQ(g->pos(), screen.topLeft() + QPoint(4, 4));
    w->move(screen.left() + 4, screen.top() + 100);
    EXPECT_EQ(g->height(), 269) << "the design height, whatever the room";
    g->move(300, 200);
    w->move(screen.left() + 4, screen.top() + 400);
    EXPECT_EQ(g->pos(), QPoint(300, 200)) << "where the user put it";
}

TEST(GraphWindowPlacement, KeepsTheDesignHeightAndStaysOnTheScreen) {
    const QSize design(412, 269);
    const QRect screen(0, 0, 1280, 1024);
    const QMargins frame(1, 20, 1, 1);
    // Reaches down to 4 pixels above the main window's frame.
    EXPECT_EQ(GraphWindowRect(screen, 700, frame, design), QRect(5, 24, 412, 700 - 4 - 1 - 24));
    EXPECT_EQ(GraphWindowRect(screen, 100, frame, design).height(), 269) << "main window stands high";
    // A panel at the top of the screen moves the window below it.
    EXPECT_EQ(GraphWindowRect(QRect(0, 24, 1280, 1000), 700, frame, design).top(), 48);
    // A main window below the screen's bottom does not stretch the graph off the screen.
    const QRect tall = GraphWindowRect(screen, 5000, frame, design);
    EXPECT_EQ(tall.bottom() + frame.bottom(), 1024 - 1 - 4);
    EXPECT_EQ(GraphWindowRect(QRect(0, 0, 640, 200), 150, frame, design).height(), 269)
        << "a screen smaller than the window still gets it whole, top left on the screen";
}

} // namespace
} // namespace tevro::test
