// Monitoring for real: the main window pings 127.0.0.1 with its own TPing workers.
#include "engine/PingRun.h"
#include "support/LogViewText.h"
#include "support/WindowFixture.h"
#include "ui/SpinEdit.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <unistd.h>

namespace tevro::test {
namespace {

class MonitorNet : public WindowFixture {};

TEST_F(MonitorNet, PingingTheLoopbackTurnsTheRowGreenAndLogsASuccess) {
    if (geteuid() != 0)
        GTEST_SKIP() << "raw ICMP sockets need root; run the net tests as root";
    auto w = MakeWindow();
    for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot)
        w->Row(slot).Active->setChecked(false);
    w->Row(1).Url->setText(QStringLiteral("127.0.0.1"));
    w->Row(1).Count->setValue(3);
    w->Row(1).Active->setChecked(true);
    w->Add_PING_SUCCESS->setChecked(true);

    w->B_RunStop->click();
    ASSERT_TRUE(w->IsRunning());
    // The worker hands over on this thread: keep the event loop turning until it has.
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->StatusPicture(1) != QStringLiteral("Bitmap_None"); }, 20000));
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Success"));
    EXPECT_EQ(w->PingThread[0], nullptr);
    EXPECT_TRUE(w->Row(1).Url->isEnabled());
    const QString text = LogViewText(*w->Memo_Log);
    EXPECT_TRUE(text.contains(QStringLiteral("(SUCCESS)"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("3 request(s) total, 3 successful."))) << text.toStdString();
    EXPECT_EQ(w->LastResultCode, PING_SUCCESS);
}

TEST_F(MonitorNet, Ipv6HostsAreTypedAndPinged) {
    if (geteuid() != 0)
        GTEST_SKIP() << "raw ICMP sockets need root; run the net tests as root";
    auto w = MakeWindow();
    for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot) {
        w->Row(slot).Active->setChecked(true);
        w->Row(slot).Url->clear();
    }
    // The longest IPv6 text there is, with a zone, goes in whole and is a host.
    const QString longest = QStringLiteral("ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255%enp0s31f6");
    QTest::keyClicks(w->Row(2).Url, longest);
    EXPECT_EQ(w->Row(2).Url->text(), longest);
    EXPECT_TRUE(w->B_RunStop->isEnabled());
    w->Row(2).Active->setChecked(false);
    w->Row(3).Active->setChecked(false);

    QTest::keyClicks(w->Row(1).Url, QStringLiteral("[0000:0000:0000:0000:0000:0000:0000:0001]"));
    w->Row(1).Count->setValue(2);
    w->Add_PING_SUCCESS->setChecked(true);
    w->B_RunStop->click();
    ASSERT_TRUE(w->IsRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->StatusPicture(1) != QStringLiteral("Bitmap_None"); }, 20000));
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Success"));
    const QString text = LogViewText(*w->Memo_Log);
    // The address under its name, or as typed where it has none.
    EXPECT_TRUE(
        text.contains(QStringLiteral("[::1] (")) ||
        text.contains(QStringLiteral("[0000:0000:0000:0000:0000:0000:0000:0001] (reverse lookup failed)")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("2 request(s) total, 2 successful."))) << text.toStdString();
}

} // namespace
} // namespace tevro::test
