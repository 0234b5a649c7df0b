// The tray icon against a recording shell: what reaches the tray, and the double-click marker.
#include "desktop/WTaskBar.h"

#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

using tevro::TrayMouse;
using tevro::TrayShell;

namespace {

class RecordingShell final : public TrayShell {
public:
    explicit RecordingShell(std::vector<std::pair<Operation, QString>>& sent) : m_sent(sent) {}
    bool Available() const override { return true; }
    void Notify(Operation operation, const QIcon&, const QString& tip) override {
        m_sent.emplace_back(operation, tip);
    }

private:
    std::vector<std::pair<Operation, QString>>& m_sent;
};

TEST(WTaskBarTest, TheTrayGetsTheWholeTipOnceAndAnEmptyIconNeverHidesTheOwner) {
    std::vector<std::pair<TrayShell::Operation, QString>> sent;
    QWidget owner;
    owner.show();
    auto* tray = new TWinTaskbar(&owner, std::make_unique<RecordingShell>(sent));
    tray->SetShowIcon(true);
    EXPECT_TRUE(owner.isVisible()); // no icon yet: nothing in the tray, so the owner stays reachable
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::green);
    tray->SetIcon(QIcon(pixmap));
    EXPECT_TRUE(tray->IconInTray());
    EXPECT_TRUE(owner.isHidden());

    sent.clear();
    const QString longHint = QString(50, QLatin1Char('a')) + QString(30, QLatin1Char('b'));
    tray->SetHint(longHint);
    tray->SetHint(longHint);
    EXPECT_EQ(tray->Hint(), longHint);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], std::pair(TrayShell::Operation::Modify, longHint));
}

TEST(WTaskBarTest, ADoubleClickGivesNoSingleClickForItsLastRelease) {
    std::vector<std::pair<TrayShell::Operation, QString>> sent;
    QWidget owner;
    TWinTaskbar tray(&owner, std::make_unique<RecordingShell>(sent));
    QStringList calls;
    tray.OnClick = [&](QObject*) { calls << QStringLiteral("click"); };
    tray.OnDblClick = [&](QObject*) { calls << QStringLiteral("double"); };
    for (TrayMouse what : {TrayMouse::LeftDown, TrayMouse::LeftUp, TrayMouse::LeftDblClick, TrayMouse::LeftUp,
                           TrayMouse::RightUp, TrayMouse::LeftDown, TrayMouse::LeftUp})
        tray.TrayMessage(what);
    EXPECT_EQ(calls.join(QLatin1Char(' ')), QStringLiteral("click double click"));
}

} // namespace
