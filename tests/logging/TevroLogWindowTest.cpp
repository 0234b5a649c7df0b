// The main window's downtime table driven through result processing and the run switch, on a clock the
// test moves. The start-up lines are checked on the real program in StartupTest.
#include "logging/DowntimeTable.h"
#include "richview/RichView.h"
#include "support/FileSizeLimit.h"
#include "support/LogViewText.h"
#include "support/QtPrinters.h"
#include "support/TempSettings.h"
#include "ui/Tevro_u.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

    void Result(TF_Tevro& window, int code, const QString& report = QStringLiteral("host")) {
        window.PingDone(nullptr, code, -1, -1, -1, 0, report);
    }

    tevro::test::TempSettings m_settings;
    QString m_log = m_settings.Folder() + QStringLiteral("/tevro.log");
    QDateTime m_wall{QDate(2026, 3, 2), QTime(10, 0, 0)};
    qint64 m_monotonicMs = 1000;
};

using tevro::test::FileSizeLimit;

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

TEST_F(TevroLogWindowTest, AFullDiskLosesWholeEntriesAndRecoveryIsToldOnlyOnceItIsInTheLog) {
    auto window = MakeWindow();
    window->Add_PING_FAILED->setChecked(false); // the notices come whatever the filters say
    const QString failed = QStringLiteral("host\r\n\t3 request(s) total, all failed");
    const qint64 firstLine = QStringLiteral("(FAILED) 02.03.2026 (10:00:00): host\r\n").size();
    const QString errorLine = QStringLiteral("First ping error encountered at Mon, 02.03.2026, 10:00:00.");
    const qint64 before = QFileInfo(m_log).size();
    {
        // Room for the failure's first line and part of its second; the downtime table's short entry
        // after it fits, the note that writing works again does not.
        FileSizeLimit full(static_cast<rlim_t>(before + firstLine + 30));
        Result(*window, kPingFailed, failed);
        Advance(60);
        Result(*window, kPingFailed, failed);
        EXPECT_EQ(QFileInfo(m_log).size(), before + errorLine.size() + 2) << "nothing of the failures stays";
    }
    QString view = tevro::test::LogViewText(*window->Memo_Log);
    EXPECT_EQ(view.count(QStringLiteral("The LOG file cannot be written:")), 1) << view.toStdString();
    EXPECT_FALSE(view.contains(QStringLiteral("can be written again"))) << "the disk is still full";
    EXPECT_TRUE(view.contains(m_log)) << view.toStdString();
    EXPECT_TRUE(view.contains(QStringLiteral("File too large"))) << view.toStdString();

    Advance(60);
    Result(*window, kPingSuccess);
    view = tevro::test::LogViewText(*window->Memo_Log);
    EXPECT_EQ(view.count(QStringLiteral("The LOG file cannot be written:")), 1) << view.toStdString();
    EXPECT_EQ(view.count(QStringLiteral("can be written again")), 1) << view.toStdString();
    EXPECT_TRUE(view.contains(QStringLiteral("2 entries could not be written before"))) << view.toStdString();

    window.reset();
    const QStringList lines = ReadLines(m_log);
    const QString all = lines.join(QLatin1Char('\n'));
    EXPECT_FALSE(all.contains(QStringLiteral("(FAILED)"))) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("request(s)"))) << all.toStdString();
    EXPECT_TRUE(lines.contains(errorLine)) << all.toStdString();
    const qsizetype success = lines.indexOf(QStringLiteral("(SUCCESS) 02.03.2026 (10:02:00): host."));
    ASSERT_GT(success, 0) << all.toStdString();
    EXPECT_EQ(lines.at(success + 1), QStringLiteral("02.03.2026 (10:02:00): The LOG file can be written again:"));
    EXPECT_EQ(lines.at(success + 3), QStringLiteral("   ## 2 entries could not be written before."));
    EXPECT_TRUE(
        lines.at(success + 4).startsWith(QStringLiteral("|| 00:02:00 | Mon, 02.03.2026, 10:00:00 |")));
}

TEST_F(TevroLogWindowTest, TheHeaderClaimsOnlyALogThatCanBeWritten) {
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_settings.Folder() + QStringLiteral("/data")));
    // A folder under the LOG's name is left alone; the LOG goes to the user's folder and says why.
    ASSERT_TRUE(QDir().mkpath(m_log));
    {
        auto window = MakeWindow();
        const QString moved = m_settings.Folder() + QStringLiteral("/data/Tevro/tevro.log");
        EXPECT_EQ(window->LogFileName, moved);
        const QString view = tevro::test::LogViewText(*window->Memo_Log);
        EXPECT_TRUE(view.contains(QStringLiteral("All output will be logged to:"))) << view.toStdString();
        EXPECT_TRUE(view.contains(m_log + QStringLiteral("\": that is not a regular file"))) << view.toStdString();
        EXPECT_TRUE(ReadLines(moved).join(QLatin1Char('\n')).contains(m_log));
    }
    EXPECT_TRUE(QFileInfo(m_log).isDir());

    // A folder that does not exist: no claim that anything is logged.
    m_log = m_settings.Folder() + QStringLiteral("/gone/tevro.log");
    auto window = MakeWindow();
    const QString view = tevro::test::LogViewText(*window->Memo_Log);
    EXPECT_FALSE(view.contains(QStringLiteral("All output will be logged to:"))) << view.toStdString();
    EXPECT_TRUE(view.contains(QStringLiteral("The LOG file cannot be written:"))) << view.toStdString();
    EXPECT_TRUE(view.contains(QStringLiteral("No such file or directory"))) << view.toStdString();
    window.reset();
    if (dataHome.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", dataHome);
}
