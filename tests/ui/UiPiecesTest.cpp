// The window's small pieces without a window: anchoring, the gauge's fill, hints, message box placement.
#include "common/Product.h"
#include "common/Resources.h"
#include "support/QtPrinters.h"
#include "ui/Anchors.h"
#include "ui/Gauge.h"
#include "ui/Hints.h"
#include "ui/MessageBox.h"
#include "ui/Tevro_u.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tevro;

TEST(Anchors, EachEdgeCombination) {
    const QSize design(413, 254), grown(800, 581);
    const QRect r(60, 20, 109, 21);
    EXPECT_EQ(AnchoredRect(r, AnchorLeft | AnchorTop, design, grown), r);
    EXPECT_EQ(AnchoredRect(r, AnchorLeft | AnchorTop | AnchorRight, design, grown), QRect(60, 20, 496, 21));
    EXPECT_EQ(AnchoredRect(r, AnchorTop | AnchorRight, design, grown), QRect(447, 20, 109, 21));
    EXPECT_EQ(AnchoredRect(r, AnchorRight | AnchorBottom, design, grown), QRect(447, 347, 109, 21));
    EXPECT_EQ(AnchoredRect(r, AnchorAll, design, grown), QRect(60, 20, 496, 348));
    // Unanchored on an axis: the centre keeps its share of the parent.
    EXPECT_EQ(AnchoredRect(QRect(100, 0, 20, 10), AnchorTop, QSize(200, 100), QSize(400, 100)),
              QRect(210, 0, 20, 10));
    // Shrinking below the design never gives a negative size.
    EXPECT_EQ(AnchoredRect(r, AnchorAll, design, QSize(100, 10)).size(), QSize(0, 0));
}

TEST(Gauge, FillFollowsTheRange) {
    EXPECT_EQ(Gauge::FillHeight(0, 0, 0, 100), 0) << "empty range: no fill, no busy animation";
    EXPECT_EQ(Gauge::FillHeight(0, 12, 6, 100), 50);
    EXPECT_EQ(Gauge::FillHeight(0, 708, 708, 105), 105);
    EXPECT_EQ(Gauge::FillHeight(0, 12, 40, 100), 100) << "clamped";
    EXPECT_EQ(Gauge::FillHeight(0, 12, -3, 100), 0);
}

TEST(Hints, StatusLineTakesTheLongPart) {
    EXPECT_EQ(StatusLineText(QStringLiteral("|Enter a valid URL or IP address")),
              QStringLiteral(" Enter a valid URL or IP address .."));
    EXPECT_EQ(StatusLineText(QStringLiteral("short|long|more")), QStringLiteral(" long|more .."));
    EXPECT_EQ(StatusLineText(QStringLiteral("no bar")), QStringLiteral(" no bar .."));
    EXPECT_EQ(StatusLineText(QStringLiteral("|  x ")), QStringLiteral("   x  ..")) << "kept untrimmed";
    EXPECT_EQ(StatusLineText(QStringLiteral("|  \t")), QString()) << "blank: the line is cleared";
    EXPECT_EQ(StatusLineText(QString()), QString());
}

TEST(MessageBoxes, PlacementAndText) {
    const QRect screen(0, 0, 1920, 1080);
    EXPECT_EQ(MessageBoxPosition(false, QRect(4, 700, 420, 300), QSize(300, 120), screen), QPoint(20, 716));
    EXPECT_EQ(MessageBoxPosition(true, QRect(4, 700, 420, 300), QSize(300, 120), screen), QPoint(810, 480));
    EXPECT_EQ(MessageBoxPosition(true, QRect(), QSize(300, 120), QRect(1920, 0, 1280, 1024)),
              QPoint(2410, 452))
        << "centred on the screen it is given, not the first one";
    // Beside a window at the bottom of the screen a tall box is lifted so its buttons stay reachable.
    EXPECT_EQ(MessageBoxPosition(false, QRect(4, 776, 420, 300), QSize(300, 400), screen), QPoint(20, 680));
    EXPECT_EQ(MessageBoxPosition(false, QRect(1700, 10, 420, 300), QSize(300, 120), screen),
              QPoint(1620, 26));
    EXPECT_EQ(DialogText(QStringLiteral("** ERROR **\r\rone\r\ntwo")),
              QStringLiteral("** ERROR **\n\none\ntwo"));
}

TEST(ProductTexts, HelpHeadAndLabelRebuildTheProductLine) {
    const QStringList label = TF_Tevro::CopyrightLabelText().split(QLatin1Char('\n'));
    ASSERT_EQ(label.size(), 3);
    EXPECT_EQ(label.join(QLatin1Char(' ')), ProductLine() + QLatin1Char('.')); // the label closes the notice
    const QStringList head = TF_Tevro::HelpPageHeadLines();
    ASSERT_EQ(head.size(), 9);
    EXPECT_TRUE(ProductLine().startsWith(head[6].mid(head[6].indexOf(QLatin1Char('>')) + 1)));
    EXPECT_TRUE(head[4].contains(QStringLiteral("pic=\"Help_Icon\"")));
}

// The help text covers each topic the help page promises, under bold "=== ... ===" heads.
TEST(HelpText, CoversEveryTopic) {
    bool found = false;
    const QString text = QString::fromUtf8(ResourceData(QStringLiteral("Help_Text"), &found));
    ASSERT_TRUE(found);
    for (const char* head :
         {"Disclaimer of warranty", "watching hosts", "acoustic alert", "starting automatically",
          "LOG extraction tool", "name resolution", "pinging under Linux", "files", "Last modified"})
        EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("<f style=\"bold\">=== [^=\n]*") +
                                                     QLatin1String(head) + QStringLiteral("[^=\n]* ===<f>"))))
            << "section: " << head;
    for (const char* word :
         {"-ToRunning", "root", "cap_net_raw", "ping_group_range", "Kaltmer/Tevro.conf", ".log"})
        EXPECT_TRUE(text.contains(QLatin1String(word))) << word;
    // Every line starts a paragraph of its own, so no line runs on into the next.
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(line.startsWith(QStringLiteral("<p"))) << line.toStdString();
}
