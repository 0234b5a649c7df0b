// The downtime table on a clock the tests set.
#include "logging/DowntimeTable.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace tevro;
using namespace std::chrono_literals;

namespace {

constexpr int kSocketError = 2;
constexpr int kPingFailed = 3;
constexpr int kSuccess = DowntimeTable::kPingSuccess;

class FakeClock final : public DowntimeClock {
public:
    QDateTime Now() const override { return wall; }
    std::chrono::milliseconds Elapsed() const override { return monotonic; }

    void Advance(std::chrono::milliseconds step) {
        wall = wall.addMSecs(step.count());
        monotonic += step;
    }

    QDateTime wall{QDate(2026, 3, 2), QTime(10, 0, 0)}; // a Monday
    std::chrono::milliseconds monotonic{5000};
};

// Drives the table the way result processing does: the previous entry's code goes along.
class DowntimeTableTest : public ::testing::Test {
protected:
    void Feed(int code) {
        table.Update(code, last);
        last = code;
    }
    void OpenTable() {
        if (table.Open())
            last = 0;
    }

    FakeClock clock;
    QStringList lines;
    int last = 0;
    DowntimeTable table{clock, [this](const QString& line) { lines << line.split(QStringLiteral("\r\n")); },
                        QLocale::c()};
};

const QString kFrame = DowntimeTable::FrameLine();
const QString kHead = DowntimeTable::HeadLine();

} // namespace

TEST(DowntimeFormatTest, LengthCountsTotalHours) {
    EXPECT_EQ(FormatDowntimeLength(0ms), QStringLiteral("00:00:00"));
    EXPECT_EQ(FormatDowntimeLength(599999ms), QStringLiteral("00:09:59"));
    EXPECT_EQ(FormatDowntimeLength(25h), QStringLiteral("25:00:00"));
    EXPECT_EQ(FormatDowntimeLength(100h + 1min + 1s), QStringLiteral("100:01:01"));
    EXPECT_EQ(FormatDowntimeLength(-5s), QStringLiteral("00:00:00"));
}

TEST(DowntimeFormatTest, MomentUsesTheLocalesDayNameAndSeparator) {
    const QDateTime monday(QDate(2026, 3, 2), QTime(9, 5, 7));
    EXPECT_EQ(FormatDowntimeMoment(monday, QLocale::c()), QStringLiteral("Mon, 02.03.2026, 09:05:07"));
    EXPECT_EQ(FormatDowntimeMoment(monday, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("Mo, 02.03.2026, 09:05:07"));
    EXPECT_EQ(TimeSeparator(QLocale(QLocale::Finnish, QLocale::Finland)), QStringLiteral("."));
    // fr_CA writes "07 h 51": literal text between the fields, so the colon stands in.
    const QLocale canadianFrench(QLocale::French, QLocale::Canada);
    EXPECT_EQ(TimeSeparator(canadianFrench), QStringLiteral(":"));
    EXPECT_TRUE(FormatDowntimeMoment(monday, canadianFrench).endsWith(QStringLiteral(", 02.03.2026, 09:05:07")))
        << FormatDowntimeMoment(monday, canadianFrench).toStdString();
}

namespace {

// The row of a period of 90 seconds from 10:00:00, as a table in `locale` writes it.
QString RowOfNinetySeconds(const QLocale& locale) {
    FakeClock clock;
    QStringList lines;
    DowntimeTable table{clock, [&lines](const QString& line) { lines << line.split(QStringLiteral("\r\n")); },
                        locale};
    table.Update(kPingFailed, 0);
    clock.Advance(90s);
    table.Update(kSuccess, kPingFailed);
    return lines.size() == 3 ? lines[1] : QString();
}

} // namespace

TEST(DowntimeFormatTest, RowsUseOneSeparatorThroughout) {
    const QString row = RowOfNinetySeconds(QLocale(QLocale::Finnish, QLocale::Finland));
    EXPECT_TRUE(row.startsWith(QStringLiteral("|| 00.01.30 | "))) << row.toStdString();
    EXPECT_TRUE(row.endsWith(QStringLiteral(", 02.03.2026, 10.01.30 ||"))) << row.toStdString();
}

TEST(DowntimeFormatTest, TwoLetterDayNamesGiveRowsAsWideAsTheFrame) {
    const QString row = RowOfNinetySeconds(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(row, QStringLiteral("|| 00:01:30 | Mo, 02.03.2026, 10:00:00 | Mo, 02.03.2026, 10:01:30 ||"));
    EXPECT_EQ(row.size(), DowntimeTable::FrameLine().size());
}

TEST_F(DowntimeTableTest, FramesAreTheWidthOfTheHead) {
    EXPECT_EQ(kFrame.size(), 68);
    EXPECT_EQ(kHead.size(), 68);
}

TEST_F(DowntimeTableTest, OpenThenCloseWritesHeadAndFrameOnly) {
    OpenTable();
    OpenTable(); // already open: nothing
    table.Close(last);
    table.Close(last); // already closed: nothing
    EXPECT_EQ(lines, (QStringList{kFrame, kHead, kFrame, kFrame}));
}

TEST_F(DowntimeTableTest, PeriodKeepsItsFirstFailure) {
    OpenTable();
    lines.clear();
    Feed(kPingFailed);
    clock.Advance(5min);
    Feed(kPingFailed);
    clock.Advance(5min);
    Feed(kSuccess);
    clock.Advance(5min);
    Feed(kSuccess); // a success after a success writes nothing
    EXPECT_EQ(lines,
              (QStringList{
                  QStringLiteral("First ping error encountered at Mon, 02.03.2026, 10:00:00."),
                  QStringLiteral("|| 00:10:00 | Mon, 02.03.2026, 10:00:00 | Mon, 02.03.2026, 10:10:00 ||"),
                  QStringLiteral("First successful ping encountered or program closed at "
                                 "Mon, 02.03.2026, 10:10:00."),
              }));
}

TEST_F(DowntimeTableTest, TwoHostsOneDownWriteOneShortRowPerInterval) {
    OpenTable();
    lines.clear();
    for (int interval = 0; interval < 3; ++interval) {
        Feed(kSocketError);
        clock.Advance(2s);
        Feed(kSuccess);
        clock.Advance(1min - 2s);
    }
    ASSERT_EQ(lines.size(), 9);
    for (int interval = 0; interval < 3; ++interval) {
        EXPECT_TRUE(lines.at(interval * 3).startsWith(QStringLiteral("First ping error"))) << interval;
        EXPECT_TRUE(lines.at(interval * 3 + 1).startsWith(QStringLiteral("|| 00:00:02 | "))) << interval;
    }
}

TEST_F(DowntimeTableTest, StopEndsTheOpenPeriodAndRunningAgainWritesANewHead) {
    OpenTable();
    Feed(kPingFailed);
    clock.Advance(90s);
    table.Close(last);
    EXPECT_EQ(lines.mid(4),
              (QStringList{
                  QStringLiteral("|| 00:01:30 | Mon, 02.03.2026, 10:00:00 | Mon, 02.03.2026, 10:01:30 ||"),
                  QStringLiteral("First successful ping encountered or program closed at "
                                 "Mon, 02.03.2026, 10:01:30."),
                  kFrame,
              }));
    lines.clear();
    OpenTable();
    EXPECT_EQ(lines, (QStringList{kFrame, kHead, kFrame}));
}

TEST_F(DowntimeTableTest, NeutralCodesNeitherOpenNorClose) {
    OpenTable();
    lines.clear();
    Feed(0);
    Feed(DowntimeTable::kVersionMismatch);
    EXPECT_TRUE(lines.isEmpty());
    Feed(kPingFailed);
    Feed(0);
    Feed(DowntimeTable::kVersionMismatch);
    EXPECT_TRUE(table.PeriodOpen());
    EXPECT_EQ(lines.size(), 1);
    Feed(kSuccess); // the neutral entries in between do not hide the period
    EXPECT_FALSE(table.PeriodOpen());
    EXPECT_EQ(lines.size(), 3);
}

TEST_F(DowntimeTableTest, FailureAfterStopIsForgottenByTheNextHead) {
    OpenTable();
    table.Close(last);
    lines.clear();
    Feed(kPingFailed); // a worker still finishing after the switch to Inactive
    EXPECT_EQ(lines,
              (QStringList{QStringLiteral("First ping error encountered at Mon, 02.03.2026, 10:00:00.")}));
    OpenTable();
    clock.Advance(1min);
    Feed(kSuccess);
    EXPECT_EQ(lines.mid(1), (QStringList{kFrame, kHead, kFrame}));
}

TEST_F(DowntimeTableTest, LengthComesFromTheMonotonicClock) {
    OpenTable();
    lines.clear();
    Feed(kPingFailed);
    clock.Advance(25h);
    clock.wall = clock.wall.addSecs(-26 * 3600); // the wall clock set back meanwhile
    Feed(kSuccess);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.at(1),
              QStringLiteral("|| 25:00:00 | Mon, 02.03.2026, 10:00:00 | Mon, 02.03.2026, 09:00:00 ||"));
}
