// The tray icon against a recording shell: what reaches the tray, the double-click marker, and the
// rule that keeps the owner window reachable.
#include "desktop/WTaskBar.h"

#include <QMenu>
#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using tevro::TrayMouse;
using tevro::TrayShell;

namespace {

struct Sent {
    TrayShell::Operation operation;
    QString tip;
};

class RecordingShell final : public TrayShell {
public:
    explicit RecordingShell(bool& available, std::vector<Sent>& sent)
        : m_available(available), m_sent(sent) {}
    bool Available() const override { return m_available; }
    void Notify(Operation operation, const QIcon&, const QString& tip) override {
        m_sent.push_back({operation, tip});
    }

private:
    bool& m_available;
    std::vector<Sent>& m_sent;
};

QIcon SomeIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::green);
    return QIcon(pixmap);
}

class WTaskBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner.show();
        tray = new TWinTaskbar(&owner, std::make_unique<RecordingShell>(trayAvailable, sent));
        tray->SetIcon(SomeIcon());
        sent.clear();
    }

    bool trayAvailable = true;
    std::vector<Sent> sent;
    QWidget owner;
    TWinTaskbar* tray = nullptr; // owned by `owner`
};

TEST_F(WTaskBarTest, TheTrayGetsTheTipCutWhileTheHintStaysWhole) {
    tray->SetShowIcon(true);
    const QString longHint = QString(50, QLatin1Char('a')) + QString(30, QLatin1Char('b'));
    tray->SetHint(longHint);
    tray->SetHint(longHint);
    EXPECT_EQ(tray->Hint(), longHint);
    ASSERT_EQ(sent.size(), 2u); // the add, then one modify for the hint set twice
    EXPECT_EQ(sent[0].operation, TrayShell::Operation::Add);
    EXPECT_EQ(sent[1].operation, TrayShell::Operation::Modify);
    EXPECT_EQ(sent[1].tip, longHint.left(63));
}

TEST_F(WTaskBarTest, ADoubleClickGivesNoSingleClickForItsLastRelease) {
    int clicks = 0;
    int doubleClicks = 0;
    tray->OnClick = [&](QObject* sender) {
        EXPECT_EQ(sender, tray);
        ++clicks;
    };
    tray->OnDblClick = [&](QObject*) { ++doubleClicks; };
    for (TrayMouse what :
         {TrayMouse::LeftDown, TrayMouse::LeftUp, TrayMouse::LeftDblClick, TrayMouse::LeftUp})
        tray->TrayMessage(what);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubleClicks, 1);
    // The marker is spent: the next click counts again, and other buttons never click.
    for (TrayMouse what : {TrayMouse::LeftDown, TrayMouse::LeftUp, TrayMouse::MiddleUp, TrayMouse::RightUp})
        tray->TrayMessage(what);
    EXPECT_EQ(clicks, 2);
}

TEST_F(WTaskBarTest, TheOwnerLeavesTheTaskbarOnlyWhenTheIconIsReallyInATray) {
    tray->SetShowIcon(true);
    EXPECT_TRUE(tray->IconInTray());
    EXPECT_TRUE(owner.isHidden());
    tray->SetShowIcon(false);
    EXPECT_FALSE(tray->IconInTray());
    EXPECT_TRUE(owner.isVisible());

    // No tray on this desktop, or nothing to show: the owner stays where the user can reach it.
    sent.clear();
    trayAvailable = false;
    tray->SetShowIcon(true);
    EXPECT_TRUE(owner.isVisible());
    tray->SetShowIcon(false);
    trayAvailable = true;
    tray->SetIcon(QIcon());
    tray->SetShowIcon(true);
    EXPECT_FALSE(tray->IconInTray());
    EXPECT_TRUE(owner.isVisible());
    for (const Sent& each : sent)
        EXPECT_NE(each.operation, TrayShell::Operation::Add);
}

TEST_F(WTaskBarTest, AnOwnerInTheTrayComesBackWhenTheTrayGoesAway) {
    tray->SetShowIcon(true);
    ASSERT_TRUE(owner.isHidden());
    trayAvailable = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return owner.isVisible(); }, 10000));
    EXPECT_FALSE(tray->IconInTray());
}

TEST_F(WTaskBarTest, ADestroyedMenuIsForgotten) {
    auto* menu = new QMenu;
    tray->SetPopUpMenu(menu);
    tray->TrayMessage(TrayMouse::RightDown);
    EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    delete menu;
    EXPECT_EQ(tray->PopUpMenu(), nullptr);
    tray->TrayMessage(TrayMouse::RightDown); // nothing left to open
}

} // namespace
