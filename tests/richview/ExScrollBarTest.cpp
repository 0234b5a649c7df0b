// The scroll bar's Pressed state across press, drag, release and the next plain move.
#include "richview/ExScrollBar.h"

#include <QTest>
#include <gtest/gtest.h>

TEST(ExScrollBarTest, PressedHoldsThroughDragUntilPlainMove) {
    TExScrollBar bar(Qt::Vertical);
    bar.setRange(0, 500);
    bar.resize(16, 200);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    EXPECT_FALSE(bar.Pressed());

    const QPoint middle(8, 100);
    QTest::mousePress(&bar, Qt::RightButton, {}, middle);
    EXPECT_FALSE(bar.Pressed()) << "only the left button grabs the bar";
    QTest::mouseRelease(&bar, Qt::RightButton, {}, middle);

    QTest::mousePress(&bar, Qt::LeftButton, {}, middle);
    EXPECT_TRUE(bar.Pressed());
    QTest::mouseMove(&bar, QPoint(8, 120));
    EXPECT_TRUE(bar.Pressed()) << "a drag keeps the bar pressed";
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(8, 120));
    EXPECT_TRUE(bar.Pressed()) << "released, but the mouse has not moved yet";
    QTest::mouseMove(&bar, QPoint(8, 130));
    EXPECT_FALSE(bar.Pressed());
}
