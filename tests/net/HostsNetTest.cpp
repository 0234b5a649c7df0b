// Real hosts in namespaces of the test's own: three rows pinged in one cycle by the main window, and the
// built program ended by SIGTERM while its worker waits in the middle of a try.
#include "engine/PingRun.h"
#include "support/NetLab.h"
#include "support/TevroProcess.h"
#include "support/WindowFixture.h"
#include "ui/SpinEdit.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace tevro::test {
namespace {

using testing::LinkNamespaces;
using testing::NetNamespace;

const std::string kPrefix = "tvhosts";

class HostsNet : public WindowFixture {
protected:
    void SetUp() override {
        if (!testing::IsRoot())
            GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
        testing::RemoveStaleNamespaces(kPrefix);
        std::string error;
        m_client = NetNamespace::Create(kPrefix, "c", &error);
        if (!m_client)
            GTEST_SKIP() << "network namespaces are not available here: " << error;
        m_host = NetNamespace::Create(kPrefix, "h", &error);
        ASSERT_TRUE(m_host) << error;
        ASSERT_TRUE(LinkNamespaces(*m_client, "10.232.1.1", *m_host, "10.232.1.2", &error)) << error;
    }

    std::unique_ptr<NetNamespace> m_client;
    std::unique_ptr<NetNamespace> m_host;
};

TEST_F(HostsNet, ThreeHostsAtOnceEachGetTheirOwnPictureAndEntryInSlotOrder) {
    const QString hosts[] = {QStringLiteral("10.232.1.2"), QStringLiteral("10.232.1.9"),
                             QStringLiteral("no-such-host.invalid")};
    ASSERT_TRUE(m_client->Enter([&] {
        auto w = MakeWindow();
        for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot) {
            const TSlotRow& row = w->Row(slot);
            row.Url->setText(hosts[slot - 1]);
            row.TimeOut->setValue(1000);
            row.Count->setValue(1);
            row.Active->setChecked(true);
        }
        w->B_RunStop->click();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot)
                    if (w->StatusPicture(slot) == QStringLiteral("Bitmap_None") || w->PingThread[slot - 1])
                        return false;
                return true;
            },
            20000));
        EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Success"));
        EXPECT_EQ(w->StatusPicture(2), QStringLiteral("Ping_Failed"));
        EXPECT_EQ(w->StatusPicture(3), QStringLiteral("Socket_Error"));
    }));
    QFile file(settings.Folder() + QStringLiteral("/tevro.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList heads;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n")))
        if (line.startsWith(QStringLiteral("(")))
            heads << line;
    ASSERT_EQ(heads.size(), 3) << heads.join(u'\n').toStdString();
    EXPECT_TRUE(heads[0].startsWith(QStringLiteral("(SUCCESS)")) && heads[0].contains(hosts[0]));
    EXPECT_TRUE(heads[1].startsWith(QStringLiteral("(FAILED)")) && heads[1].contains(hosts[1]));
    EXPECT_TRUE(heads[2].startsWith(QStringLiteral("(FAILED)")) && heads[2].contains(hosts[2]));
}

// A logout while a worker waits in an 8-second try: the program ends within a second, and nothing is
// written after the downtime table's closing frame.
TEST_F(HostsNet, SigtermInTheMiddleOfATryEndsAtOnce) {
    ASSERT_TRUE(m_host->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
    testing::TevroSandbox sandbox;
    const QString program = sandbox.InstallProgram(QStringLiteral("tevro"));
    ASSERT_FALSE(program.isEmpty());
    QMap<QString, QString> values;
    for (const char* slot : {"01", "02", "03"}) {
        const QString n = QString::fromLatin1(slot);
        values[QStringLiteral("Active_") + n] = QStringLiteral("1");
        values[QStringLiteral("Url_") + n] = QStringLiteral("10.232.1.2");
        values[QStringLiteral("TimeOut_") + n] = QStringLiteral("8000");
        values[QStringLiteral("Count_") + n] = QStringLiteral("5");
    }
    sandbox.WriteSettings(values);
    const QString log = sandbox.Path(QStringLiteral("bin/tevro.log"));

    QProcess process;
    process.setProcessEnvironment(sandbox.Environment());
    // "ip netns exec" runs the program itself in the namespace, so the signal reaches it.
    process.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                         QString::fromStdString(m_client->Name()), program,
                                         QStringLiteral("-ToRunning")});
    ASSERT_TRUE(process.waitForStarted());
    // The second header comes with the switch to Running, which starts slot 1's worker at once.
    ASSERT_TRUE(testing::WaitForLog(
        log,
        [](const QStringList& lines) {
            return lines.filter(QStringLiteral("All output will be logged to:")).size() == 2;
        },
        15000));
    QTest::qWait(500); // well inside the first try, which lasts 8 s
    QElapsedTimer ending;
    ending.start();
    EXPECT_TRUE(testing::TerminateAndExpectCleanExit(process, 5000));
    EXPECT_LT(ending.elapsed(), 1000);
    const QStringList lines = testing::ReadLogLines(log);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), QStringLiteral("||----------+--------------------------+--------------------------++"))
        << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.filter(QStringLiteral("(FAILED)")).isEmpty()) << "no result arrives while ending";
}

} // namespace
} // namespace tevro::test
