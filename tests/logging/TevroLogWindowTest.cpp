// The main window's downtime table driven through result processing and the run switch, on a clock the
// test moves. The start-up lines are checked on the real program in StartupTest.
#include "logging/DowntimeTable.h"
#include "support/QtPrinters.h"
#include "support/TempSettings.h"
#include "ui/Tevro_u.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int kPingFailed = 3;
constexpr int kPingSuccess = 4;

QStringList ReadLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.chop(2); // the last line's CR LF
    return text.split(QStringLiteral("\r\n"));
}

// Only the table's lines and its two messages.
QStringList TableLines(const QStringList& lines) {
    QStringList table;
    for (const QString& line : lines)
        if (line.startsWith(QStringLiteral("||")) || line.startsWith(QStringLiteral("First ")))
            table << line;
    return table;
}

class TevroLogWindowTest : public ::testing::Test {
protected:
    // The table's day names follow the user's locale; the expected texts are the C locale's.
    void SetUp() override { QLocale::setDefault(QLocale::c()); }

    std::unique_ptr<TF_Tevro> MakeWindow() {
        TevroEnvironment env;
        env.logFileName = m_log;
        env.arguments = {QStringLiteral("tevro")};
        env.clock = [this] { return m_wall; };
        env.messageBox = [](const QString&, tevro::MessageKind, QMessageBox::StandardButtons, bool) {
            return QMessageBox::Ok;
        };
        auto window = std::make_unique<TF_Tevro>(std::move(env));
        window->SetDowntimeMonotonicClock([this] { return m_monotonicMs; });
        return window;
    }

    void Advance(int seconds) {
        m_wall = m_wall.addSecs(seconds);
        m_monotonicMs += seconds * 1000LL;
    }

    void Result(TF_Tevro& window, int code) {
        window.PingDone(nullptr, code, -1, -1, -1, 0, QStringLiteral("host"));
    }

    tevro::test::TempSettings m_settings;
    QString m_log = m_settings.Folder() + QStringLiteral("/tevro.log");
    QDateTime m_wall{QDate(2026, 3, 2), QTime(10, 0, 0)};
    qint64 m_monotonicMs = 1000;
};

const QString kFrame = tevro::DowntimeTable::FrameLine();
const QString kHead = tevro::DowntimeTable::HeadLine();

} // namespace

TEST_F(TevroLogWindowTest, PeriodOpenAtTheSwitchToInactiveEndsThere) {
    auto window = MakeWindow();
    window->B_RunStopClick(); // Running: the start-up table stays open
    Result(*window, kPingFailed);
    Advance(300);
    Result(*window, kPingFailed);
    Advance(60);
    window->B_RunStopClick();      // Inactive
    Result(*window, kPingSuccess); // a late worker: no table, no period to end
    window->B_RunStopClick();      // Running again: a new head
    window.reset();

    EXPECT_EQ(TableLines(ReadLines(m_log)),
              (QStringList{
                  kFrame, kHead, kFrame,
                  QStringLiteral("First ping error encountered at Mon, 02.03.2026, 10:00:00."),
                  QStringLiteral("|| 00:06:00 | Mon, 02.03.2026, 10:00:00 | Mon, 02.03.2026, 10:06:00 ||"),
                  QStringLiteral(
                      "First successful ping encountered or program closed at Mon, 02.03.2026, 10:06:00."),
                  kFrame, kFrame, kHead, kFrame,
                  kFrame, // closed by the window's end
              }));
}

TEST_F(TevroLogWindowTest, InformationalEntriesDoNotHideAnOpenPeriod) {
    auto window = MakeWindow();
    Result(*window, kPingFailed);
    Advance(10);
    window->LOG_ClearMsgClick(); // an informational entry between failure and success
    Result(*window, kPingSuccess);
    Result(*window, kPingSuccess);
    const QStringList table = TableLines(ReadLines(m_log));
    ASSERT_EQ(table.size(), 6);
    EXPECT_TRUE(table.at(4).startsWith(QStringLiteral("|| 00:00:10 |")));
    EXPECT_FALSE(window->DowntimeStart().isValid());
    EXPECT_TRUE(window->DowntimeTableOpen());
}
