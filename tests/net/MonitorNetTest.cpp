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

} // namespace
} // namespace tevro::test
