// The extraction command in the main window, with a scripted stand-in for the tool found on the PATH.
#include "monitor/ScriptedPingWorkers.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace tevro::test {
namespace {

// The stand-in notes where it runs, waits while a "hold" file exists and writes "-o"'s file unless a
// "write-nothing" file exists; both files are looked for in its working folder.
constexpr char kTool[] = "#!/bin/sh\n"
                         "pwd > ran-in\n"
                         "while [ -e hold ]; do /bin/sleep 0.05; done\n"
                         "[ -e write-nothing ] || echo \"report of $(pwd)\" > \"${1#-o}\"\n";

class TevroOrvex : public WindowFixture {
protected:
    void SetUp() override {
        m_path = qgetenv("PATH");
        QFile tool(ToolPath());
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
        tool.write(kTool);
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", (bin.path() + QStringLiteral(":/usr/bin:/bin")).toLocal8Bit());
        openDocument = [this](const QString& file) {
            opened << file;
            return 42;
        };
    }
    void TearDown() override { qputenv("PATH", m_path); }

    QString ToolPath() const { return bin.filePath(QStringLiteral("orvex")); }
    // The LOG folder of the fixture's windows.
    QString InLog(const char* name) const {
        return settings.Folder() + QLatin1Char('/') + QString::fromLatin1(name);
    }
    void Touch(const char* name, const QByteArray& text = {}) {
        QFile file(InLog(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 10000); }
    bool Boxed(const QString& text) const {
        return std::any_of(boxes.begin(), boxes.end(), [&](const RecordedBox& b) { return b.text == text; });
    }

    QTemporaryDir bin;
    QStringList opened;
    QByteArray m_path;
};

TEST_F(TevroOrvex, ButtonIsEnabledOnlyWhenTheToolIsFound) {
    EXPECT_TRUE(MakeWindow()->SB_Orvex->isEnabled());
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toLocal8Bit());
    EXPECT_FALSE(MakeWindow()->SB_Orvex->isEnabled());
}

TEST_F(TevroOrvex, ToolRunsInTheLogFolderWhileTheWindowGoesOn) {
    ScriptedPingWorkers workers;
    auto w = MakeWindow();
    w->SetPingWorkerFactory(&workers);
    w->Row(1).Url->setText(QStringLiteral("localhost"));
    w->Row(1).Active->setChecked(true);
    w->B_RunStop->click();
    ASSERT_EQ(workers.Started(), 1);

    Touch("hold");
    w->SB_Orvex->click(); // returns at once: the tool waits for "hold" to go
    EXPECT_FALSE(w->SB_Orvex->isEnabled());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(InLog("ran-in")); }));
    EXPECT_EQ(Read(InLog("ran-in")).trimmed(),
              QFileInfo(settings.Folder()).canonicalFilePath().toLocal8Bit());

    // A ping result reaches the window through its event loop while the tool runs.
    QTimer::singleShot(0, w.get(), [&] { workers.Finish(0, ScriptedPingWorkers::Success()); });
    ASSERT_TRUE(WaitFor([&] { return w->StatusPicture(1) == QStringLiteral("Ping_Success"); }));
    EXPECT_TRUE(Read(InLog("tevro.log")).contains("(SUCCESS) 07.12.2026 (00:15:02): localhost [127.0.0.1]:"));
    EXPECT_FALSE(w->SB_Orvex->isEnabled()) << "the tool is still running";

    QFile::remove(InLog("hold"));
    ASSERT_TRUE(WaitFor([&] { return opened == QStringList{InLog("Orvex.Out")}; }));
    EXPECT_TRUE(Read(InLog("Orvex.Out")).startsWith("report of "));
    EXPECT_TRUE(w->SB_Orvex->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(TevroOrvex, OutputLeftFromBeforeIsNotShown) {
    auto w = MakeWindow();
    Touch("Orvex.Out", "an earlier report");
    Touch("write-nothing");
    w->SB_Orvex->click();
    ASSERT_TRUE(WaitFor(
        [&] { return Boxed(QStringLiteral("** ERROR **\r\rNo output file created: too few data.")); }));
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(Read(InLog("Orvex.Out")), QByteArray("an earlier report")) << "the user's file stays";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(w->SB_Orvex->isEnabled());
}

TEST_F(TevroOrvex, AnEditorThatCannotOpenTheReportIsToldWithTheReportsPath) {
    FakeXdgOpen xdgOpen(3);
    openDocument = nullptr; // the desktop's way: xdg-open
    auto w = MakeWindow();
    w->SB_Orvex->click();
    ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }));
    EXPECT_EQ(boxes[0].text,
              QStringLiteral("** ERROR **\r\rFailed to spawn editor \"xdg-open\".\r\rThe report is ") +
                  InLog("Orvex.Out"));
    EXPECT_EQ(xdgOpen.Opened(), QStringList{InLog("Orvex.Out")});
    EXPECT_TRUE(w->SB_Orvex->isEnabled());
}

TEST_F(TevroOrvex, ToolGoneSinceStartUpGivesTheSpawnError) {
    auto w = MakeWindow();
    ASSERT_TRUE(w->SB_Orvex->isEnabled());
    QFile::remove(ToolPath());
    w->SB_Orvex->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("** ERROR **\r\rFailed to spawn LOG extractor \"orvex\"."));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(w->SB_Orvex->isEnabled());
}

TEST_F(TevroOrvex, ClosingTheWindowLeavesTheToolToFinish) {
    auto w = MakeWindow();
    Touch("hold");
    w->SB_Orvex->click();
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(InLog("ran-in")); }));
    QElapsedTimer closing;
    closing.start();
    w.reset();
    EXPECT_LT(closing.elapsed(), 2000) << "the window does not wait for the tool";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QFile::remove(InLog("hold"));
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(InLog("Orvex.Out")); }));
    EXPECT_TRUE(opened.isEmpty());
}

} // namespace
} // namespace tevro::test
