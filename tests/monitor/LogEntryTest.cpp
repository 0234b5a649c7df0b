// Entry forms, heads, pictures, filters and the trim of the message log.
#include "monitor/LogEntry.h"

#include "engine/PingRun.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <vector>

namespace tevro {
namespace {

const QDateTime kFixedNow(QDate(2026, 12, 7), QTime(0, 15, 2));
const QString kNbsp(QChar(0x00A0));

QString SuccessReport() {
    return QStringLiteral(
        "gateway [192.0.2.7]:\r\n"
        "\tTry #1: successful, DataSize=32, TTL=52, Time=40 ms.\r\n"
        "\tTry #2: successful, DataSize=32, TTL=52, Time=30 ms.\r\n"
        "\t2 request(s) total, 2 successful. Min=30 ms, Max=40 ms, Mean=35 ms, Packet loss=0%");
}

QString Head(const char* bgcolor, const char* label) {
    return QStringLiteral("<f style=\"bold\" color=\"255.255.255\" bgcolor=\"") + QLatin1String(bgcolor) +
           QStringLiteral("\">") + kNbsp + QLatin1String(label) + kNbsp + QStringLiteral("<f> ");
}

TEST(LogEntry, FileFormOfASuccessWithoutLoss) {
    EXPECT_EQ(FileEntry(PING_SUCCESS, 0, SuccessReport(), kFixedNow),
              QStringLiteral("(SUCCESS) 07.12.2026 (00:15:02): gateway [192.0.2.7]:\r\n"
                             "   ## Try #1: successful, DataSize=32, TTL=52, Time=40 ms.\r\n"
                             "   ## Try #2: successful, DataSize=32, TTL=52, Time=30 ms.\r\n"
                             "   ## 2 request(s) total, 2 successful. Min=30 ms, Max=40 ms, Mean=35 ms, "
                             "Packet loss=0%."));
}

TEST(LogEntry, ViewFormOfASuccessWithoutLoss) {
    EXPECT_EQ(ViewEntry(PING_SUCCESS, 0, SuccessReport(), kFixedNow),
              Head("0.128.0", "(SUCCESS)") +
                  QStringLiteral("<f style=\"bold\">07.12.2026<f> (00:15:02): gateway [192.0.2.7]:\r\n"
                                 "<p tab=12>## Try #1: successful, DataSize=32, TTL=52, Time=40 ms.\r\n"
                                 "<p tab=12>## Try #2: successful, DataSize=32, TTL=52, Time=30 ms.\r\n"
                                 "<p tab=12>## 2 request(s) total, 2 successful. Min=30 ms, Max=40 ms, "
                                 "Mean=35 ms, Packet loss=0%."));
}

TEST(LogEntry, HeadsFollowTheResultClass) {
    const QString report = QStringLiteral("x");
    const QString body = QStringLiteral("<f style=\"bold\">07.12.2026<f> (00:15:02): x.");
    EXPECT_EQ(ViewEntry(PING_SUCCESS, 0, report, kFixedNow), Head("0.128.0", "(SUCCESS)") + body);
    EXPECT_EQ(ViewEntry(PING_SUCCESS, 33, report, kFixedNow), Head("255.128.0", "(SUCCESS)") + body);
    for (int code : {VERSION_MISMATCH, SOCKET_ERROR, PING_FAILED}) {
        EXPECT_EQ(ViewEntry(code, 100, report, kFixedNow), Head("255.0.0", "(FAILED)") + body) << code;
        EXPECT_EQ(FileEntry(code, 100, report, kFixedNow),
                  QStringLiteral("(FAILED) 07.12.2026 (00:15:02): x."));
    }
    EXPECT_EQ(ViewEntry(PING_NONE, -1, report, kFixedNow), body);
    EXPECT_EQ(FileEntry(PING_NONE, -1, report, kFixedNow), QStringLiteral("07.12.2026 (00:15:02): x."));
    EXPECT_EQ(FileEntry(PING_SUCCESS, 67, report, kFixedNow),
              QStringLiteral("(SUCCESS) 07.12.2026 (00:15:02): x."));
}

TEST(LogEntry, TimeIsOnTheTwentyFourHourClockWithTheLocalesSeparator) {
    const QDateTime evening(QDate(2027, 1, 3), QTime(23, 5, 9));
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(FileEntry(PING_NONE, -1, QStringLiteral("y"), evening),
              QStringLiteral("03.01.2027 (23:05:09): y."));
    QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
    EXPECT_EQ(FileEntry(PING_NONE, -1, QStringLiteral("y"), evening),
              QStringLiteral("03.01.2027 (23.05.09): y."));
    // Literal text in the locale's format ("23 h 05") is no separator.
    QLocale::setDefault(QLocale(QLocale::French, QLocale::Canada));
    EXPECT_TRUE(ViewEntry(PING_NONE, -1, QStringLiteral("y"), evening).contains(QStringLiteral("(23:05:09)")));
    QLocale::setDefault(before);
}

TEST(LogEntry, AngleBracketsReachTheViewEscapedAndTheFileUnchanged) {
    const QString busy = BusySlotReport(2, QStringLiteral("gateway"));
    EXPECT_EQ(
        FileEntry(PING_NONE, -1, busy, kFixedNow),
        QStringLiteral("07.12.2026 (00:15:02): **FAILURE** Thread #2 is still running!\r\n"
                       "   ## Pinging of <gateway> will be delayed until next timer tick is reached!."));
    EXPECT_EQ(ViewEntry(PING_NONE, -1, busy, kFixedNow),
              QStringLiteral(
                  "<f style=\"bold\">07.12.2026<f> (00:15:02): **FAILURE** Thread #2 is still running!\r\n"
                  "<p tab=12>## Pinging of &gt#gateway> will be delayed until next timer tick is "
                  "reached!."));

    // A resolver's name must not open tags of its own; the tab marks still do.
    const QString hostile = QStringLiteral("[192.0.2.9] (<f pic=\"/etc/passwd\"><a x=y>):\r\n\tTry #1: ...");
    const QString hostileView = ViewEntry(PING_SUCCESS, 0, hostile, kFixedNow);
    EXPECT_FALSE(hostileView.contains(QStringLiteral("<f pic")));
    EXPECT_FALSE(hostileView.contains(QStringLiteral("<a ")));
    EXPECT_TRUE(
        hostileView.contains(QStringLiteral("(&gt#f pic=\"/etc/passwd\">&gt#a x=y>):\r\n<p tab=12>## Try")));
}

TEST(LogFilters, EachClassHasItsOwnSwitchAndInformationAlwaysPasses) {
    LogFilters none{false, false, false};
    EXPECT_TRUE(none.Passes(PING_NONE));
    for (int code : {VERSION_MISMATCH, SOCKET_ERROR, PING_FAILED, PING_SUCCESS})
        EXPECT_FALSE(none.Passes(code)) << code;

    const LogFilters socketOnly{true, false, false};
    EXPECT_TRUE(socketOnly.Passes(VERSION_MISMATCH));
    EXPECT_TRUE(socketOnly.Passes(SOCKET_ERROR));
    EXPECT_FALSE(socketOnly.Passes(PING_FAILED));
    EXPECT_FALSE(socketOnly.Passes(PING_SUCCESS));

    EXPECT_TRUE((LogFilters{false, true, false}.Passes(PING_FAILED)));
    EXPECT_FALSE((LogFilters{false, true, false}.Passes(PING_SUCCESS)));
    EXPECT_TRUE((LogFilters{false, false, true}.Passes(PING_SUCCESS)));
    EXPECT_FALSE((LogFilters{false, false, true}.Passes(SOCKET_ERROR)));
}

// Paragraph sizes in nodes of 102 each, as the view counts them.
class FakeLog final : public TrimmableLog {
public:
    std::vector<int> paragraphs; // node count per paragraph
    bool stuck = false;          // a view whose deletions do nothing
    int deletions = 0;

    int DocumentSize() const override {
        int nodes = 0;
        for (int n : paragraphs)
            nodes += n;
        return nodes * 102;
    }
    void DeleteFirstParagraph() override {
        ++deletions;
        if (!stuck && !paragraphs.empty())
            paragraphs.erase(paragraphs.begin());
    }
};

TEST(LogTrim, StartsAtTheLimitAndStopsBelowTheTarget) {
    FakeLog log;
    log.paragraphs.assign(5139, 1); // 524178: just under the limit
    EXPECT_EQ(TrimLog(log), 0);
    EXPECT_EQ(log.deletions, 0);

    log.paragraphs.push_back(2); // 524382: over it
    const int removed = TrimLog(log);
    EXPECT_LT(log.DocumentSize(), kLogTrimTarget);
    EXPECT_GE(log.DocumentSize(), kLogTrimTarget - 102 * 2);
    EXPECT_EQ(removed, log.deletions);
    // The newest paragraphs are the ones kept.
    EXPECT_EQ(log.paragraphs.back(), 2);
}

TEST(LogTrim, AViewThatCannotShrinkDoesNotHang) {
    FakeLog log;
    log.paragraphs.assign(6000, 1);
    log.stuck = true;
    EXPECT_EQ(TrimLog(log), 0);
    EXPECT_EQ(log.deletions, 1);
}

} // namespace
} // namespace tevro
