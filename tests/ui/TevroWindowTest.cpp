// The main window driven offscreen: enable rules, run states, help page, status line, message boxes, layout.
#include "common/Product.h"
#include "monitor/CycleSchedule.h"
#include "richview/RichView.h"
#include "support/WindowFixture.h"
#include "ui/Gauge.h"
#include "ui/SpinEdit.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using tevro::test::WindowFixture;

namespace {

class TevroWindow : public WindowFixture {};

void SetHost(TF_Tevro& w, int slot, bool active, const QString& host) {
    w.Row(slot).Active->setChecked(active);
    w.Row(slot).Url->setText(host);
}

} // namespace

TEST_F(TevroWindow, ControlsCarryTheirNames) {
    auto w = MakeWindow();
    for (const char* name : {"Notebook1",        "Page_Ping",      "Page_Help",
                             "Status_Bar",       "Status_02",      "Active_03",
                             "Url_01",           "Url_02_lookup",  "Graph_03",
                             "TimeOut_01",       "DataSize_02",    "TTL_03",
                             "Count_01",         "Bevel1",         "Label3",
                             "Gauge1",           "Memo_Log",       "SpinEdit_Intervall",
                             "SB_Orvex",         "SB_Alert",       "SB_Graph",
                             "B_DispHelp",       "B_RunStop",      "Image1",
                             "Label_Copyright",  "Memo_Copyright", "B_CloseHelp",
                             "Timer1",           "PopupMenu1",     "PopupMenu2",
                             "Add_PING_SUCCESS", "LOG_ClearMsg",   "mi_About_OpenWebsite"})
        EXPECT_NE(w->findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(w->size(), QSize(420, 300));
    EXPECT_EQ(w->minimumSize(), QSize(420, 300));
    EXPECT_EQ(w->maximumSize(), QSize(800, 600));
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(TevroWindow, RunButtonNeedsAnActiveSlotWithAHost) {
    auto w = MakeWindow();
    EXPECT_FALSE(w->B_RunStop->isEnabled()) << "first run: nothing active";

    w->Row(2).Active->setChecked(true);
    EXPECT_FALSE(w->B_RunStop->isEnabled()) << "active but no host";
    QTest::keyClicks(w->Row(2).Url, QStringLiteral("gateway"));
    EXPECT_TRUE(w->B_RunStop->isEnabled());
    w->Row(2).Url->clear();
    EXPECT_FALSE(w->B_RunStop->isEnabled());
    w->Row(2).Url->setText(QStringLiteral("  \t "));
    EXPECT_FALSE(w->B_RunStop->isEnabled()) << "blanks are no host";
    w->Row(2).Url->setText(QStringLiteral(" \u0001\u007f "));
    EXPECT_FALSE(w->B_RunStop->isEnabled()) << "control characters are no host";

    SetHost(*w, 1, false, QStringLiteral("inactive.example"));
    EXPECT_FALSE(w->B_RunStop->isEnabled()) << "a host in an inactive row does not count";

    // Two usable slots: losing one keeps the button, losing both disables it.
    SetHost(*w, 1, true, QStringLiteral("one"));
    SetHost(*w, 3, true, QStringLiteral("three"));
    EXPECT_TRUE(w->B_RunStop->isEnabled());
    w->Row(1).Url->clear();
    EXPECT_TRUE(w->B_RunStop->isEnabled());
    w->Row(3).Active->setChecked(false);
    EXPECT_FALSE(w->B_RunStop->isEnabled());
}

TEST_F(TevroWindow, SingleActiveSlotBecomesTheGraphedOne) {
    auto w = MakeWindow();
    EXPECT_EQ(w->GraphedSlot(), 1) << "first run";

    w->Row(2).Active->setChecked(true);
    EXPECT_EQ(w->GraphedSlot(), 2) << "the only active slot";
    w->Row(3).Active->setChecked(true);
    EXPECT_EQ(w->GraphedSlot(), 2) << "two active: unchanged";
    w->Row(2).Active->setChecked(false);
    EXPECT_EQ(w->GraphedSlot(), 3) << "the one left active";

    // The group stays exclusive but may be emptied.
    w->SetGraphChecked(1, true);
    EXPECT_FALSE(w->Row(3).Graph->isChecked());
    w->SetGraphChecked(1, false);
    EXPECT_EQ(w->GraphedSlot(), 0);
}

TEST_F(TevroWindow, RowEnableRule) {
    auto w = MakeWindow();
    const TSlotRow& row = w->Row(2);
    auto editable = [&row] {
        return std::vector<bool>{row.Url->isEnabled(),      row.Graph->isEnabled(), row.TimeOut->isEnabled(),
                                 row.DataSize->isEnabled(), row.TTL->isEnabled(),   row.Count->isEnabled()};
    };
    const std::vector<bool> none(6, false), all(6, true);

    EXPECT_TRUE(row.Active->isEnabled());
    EXPECT_EQ(editable(), none) << "an inactive row offers only its box";
    row.Active->setChecked(true);
    EXPECT_EQ(editable(), all);

    // While its ping runs the row is wholly disabled but for its "?" button and picture.
    w->EnableSlotRow(2, false);
    EXPECT_FALSE(row.Active->isEnabled());
    EXPECT_EQ(editable(), none);
    EXPECT_TRUE(row.UrlLookup->isEnabled());
    EXPECT_TRUE(row.Status->isEnabled());

    w->EnableSlotRow(2, true);
    EXPECT_EQ(editable(), all);
    row.Active->setChecked(false);
    EXPECT_EQ(w->StatusPicture(2), QStringLiteral("Bitmap_None"));
}

TEST_F(TevroWindow, RunningAndInactiveStates) {
    WriteSettings("Active_01=1\nUrl_01=localhost\nPingEvery=59\n");
    auto w = MakeWindow();
    const QString inactive = QStringLiteral("By now there is'nt any event scheduled.");
    EXPECT_EQ(w->windowTitle(), tevro::ProductLine() + QStringLiteral(" [Inactive]."));
    EXPECT_EQ(w->B_RunStop->text(), QStringLiteral("To \"Running\" .."));
    EXPECT_EQ(w->Label3->text(), inactive);
    EXPECT_EQ(w->Gauge1->MaxValue(), 0);
    EXPECT_TRUE(w->SpinEdit_Intervall->isEnabled());

    w->B_RunStop->click();
    EXPECT_TRUE(w->IsRunning());
    EXPECT_EQ(w->Timer1->interval(), 5000);
    EXPECT_EQ(w->windowTitle(), tevro::ProductLine() + QStringLiteral(" [Running]."));
    EXPECT_EQ(w->B_RunStop->text(), QStringLiteral("To \"Inactive\" .."));
    EXPECT_EQ(w->Gauge1->MaxValue(), 708);
    EXPECT_EQ(w->Gauge1->Progress(), 708);
    EXPECT_NE(w->Label3->text(), inactive);
    EXPECT_FALSE(w->SpinEdit_Intervall->isEnabled());
    // The first cycle has started slot 1's ping: its row waits for the result, but for its "?" button.
    EXPECT_FALSE(w->Row(1).Url->isEnabled());
    EXPECT_TRUE(w->Row(1).UrlLookup->isEnabled());

    w->B_RunStop->click();
    EXPECT_FALSE(w->IsRunning());
    EXPECT_EQ(w->windowTitle(), tevro::ProductLine() + QStringLiteral(" [Inactive]."));
    EXPECT_EQ(w->B_RunStop->text(), QStringLiteral("To \"Running\" .."));
    EXPECT_EQ(w->Label3->text(), inactive);
    EXPECT_EQ(w->Gauge1->MaxValue(), 0);
    EXPECT_EQ(w->Gauge1->Progress(), 0);
    EXPECT_TRUE(w->SpinEdit_Intervall->isEnabled());

    w->SpinEdit_Intervall->setValue(1);
    w->B_RunStop->click();
    EXPECT_EQ(w->Gauge1->MaxValue(), 12);
}

TEST_F(TevroWindow, StartSwitchOnlyAsFirstParameter) {
    WriteSettings("Active_02=1\nUrl_02=localhost\n");
    {
        auto w = MakeWindow({QStringLiteral("tevro"), QStringLiteral("-TORUNNING")});
        w->show();
        EXPECT_TRUE(w->IsRunning());
    }
    {
        auto w = MakeWindow({QStringLiteral("tevro"), QStringLiteral("x"), QStringLiteral("-ToRunning")});
        w->show();
        EXPECT_FALSE(w->IsRunning());
    }
    {
        auto w = MakeWindow({QStringLiteral("tevro"), QStringLiteral("-ToRunningNow")});
        w->show();
        EXPECT_FALSE(w->IsRunning());
    }
}

TEST_F(TevroWindow, HelpPageOpensAndCloses) {
    auto w = MakeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->B_DispHelp->click();
    EXPECT_EQ(w->Notebook1->currentWidget(), w->Page_Help);
    EXPECT_TRUE(w->B_CloseHelp->hasFocus());
    w->B_CloseHelp->click();
    EXPECT_EQ(w->Notebook1->currentWidget(), w->Page_Ping);
    EXPECT_EQ(w->Label_Copyright->text().count(QLatin1Char('\n')), 2);
    EXPECT_GT(w->Memo_Copyright->Content().LastKey(), 30) << "head lines and the help text";
}

TEST_F(TevroWindow, TabOrderRunsRowByRowThenAlongTheBottom) {
    WriteSettings("Active_01=1\nActive_02=1\nActive_03=1\nUrl_02=host\n");
    auto w = MakeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_EQ(QApplication::focusWidget(), w->Row(1).Active) << "initial focus";
    QList<QWidget*> expected;
    for (int slot = 1; slot <= 3; ++slot) {
        const TSlotRow& row = w->Row(slot);
        expected << row.Active << row.Url << row.UrlLookup;
        // Of a group of radio buttons only the checked one is a tab stop.
        if (row.Graph->isChecked())
            expected << row.Graph;
        expected << row.TimeOut << row.DataSize << row.TTL << row.Count;
    }
    expected << w->Memo_Log << w->SpinEdit_Intervall << w->B_DispHelp << w->B_RunStop;
    for (qsizetype i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        // A spin edit's focus sits in its text field.
        while (focus != nullptr && !expected.contains(focus))
            focus = focus->parentWidget();
        ASSERT_EQ(focus, expected[i]) << "step " << i << ": " << expected[i]->objectName().toStdString();
    }
}

TEST_F(TevroWindow, SpinEditsTakeNoTyping) {
    auto w = MakeWindow();
    w->show();
    w->Row(1).Active->setChecked(true);
    tevro::SpinEdit* spin = w->Row(1).Count;
    spin->setFocus();
    QTest::keyClicks(spin, QStringLiteral("7"));
    EXPECT_EQ(spin->value(), 3);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), 4);
    QTest::keyClick(spin, Qt::Key_PageUp);
    EXPECT_EQ(spin->value(), 5) << "one step, not a page";
    QTest::keyClick(spin, Qt::Key_PageDown);
    EXPECT_EQ(spin->value(), 4);
    spin->setValue(1000);
    EXPECT_EQ(spin->value(), 99);
    w->Row(1).TimeOut->setValue(1013);
    EXPECT_EQ(w->Row(1).TimeOut->value(), 1013) << "not rounded to the step";
}

TEST_F(TevroWindow, StatusLineShowsTheHintUnderTheMouse) {
    auto w = MakeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));

    QTest::mouseMove(w->Row(1).Url);
    EXPECT_EQ(w->Status_Bar->text(), QStringLiteral(" Enter a valid URL or IP address .."));
    QTest::mouseMove(w->Url_dsc);
    EXPECT_EQ(w->Status_Bar->text(), QLatin1Char(' ') + tevro::ProductLine() + QStringLiteral(" .."));
    // The spin edit's inner text field has no hint of its own: its enclosing control's is shown.
    QTest::mouseMove(w->Row(3).TTL, QPoint(5, 5));
    EXPECT_EQ(w->Status_Bar->text(),
              QStringLiteral(" Time-To-Live value. Minimum is 32 hops, maximum is 128 hops .."));
    QTest::mouseMove(w->B_RunStop);
    EXPECT_EQ(w->Status_Bar->text(),
              QStringLiteral(" Toggles the state from \"Inactiv\" to \"Running\" or vice versa .."));
    // A highlighted menu item shows its own hint.
    Q_EMIT w->PopupMenu1->hovered(w->LOG_ClearMsg);
    EXPECT_EQ(w->Status_Bar->text(), QStringLiteral(" Clear all messages from log .."));
    EXPECT_TRUE(w->Row(1).Url->toolTip().isEmpty());
}

TEST_F(TevroWindow, MessageBoxBesideTheWindowOrCentredWhenMinimised) {
    auto w = MakeWindow();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->ShowMessageBox(QStringLiteral("** WARNING **\r\rx"), tevro::MessageKind::Warning);
    w->ShowCenteredMessageBox(QStringLiteral("No data available!"), tevro::MessageKind::Error);
    w->showMinimized();
    w->ShowMessageBox(QStringLiteral("later"), tevro::MessageKind::Information);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_FALSE(boxes[0].centred);
    EXPECT_TRUE(boxes[1].centred);
    EXPECT_TRUE(boxes[2].centred);
}

TEST_F(TevroWindow, RealMessageBoxOpensAtTheWindowCorner) {
    TevroEnvironment env;
    env.logFileName = settings.Folder() + QStringLiteral("/tevro.log");
    env.arguments = {QStringLiteral("tevro")};
    TF_Tevro w(env);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QPoint shownAt;
    QString shownText;
    QTimer::singleShot(0, &w, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        shownAt = box->pos();
        shownText = box->text();
        box->accept();
    });
    w.ShowMessageBox(QStringLiteral("** ERROR **\r\rsecond line"), tevro::MessageKind::Error);
    EXPECT_EQ(shownAt, w.frameGeometry().topLeft() + QPoint(16, 16));
    EXPECT_EQ(shownText, QStringLiteral("** ERROR **\n\nsecond line"));
}

namespace {

bool BothSeparators(const QWidget* a, const QWidget* b) {
    return a->objectName().startsWith(QStringLiteral("Bevel")) &&
           b->objectName().startsWith(QStringLiteral("Bevel"));
}

} // namespace

// Every control stays inside its page and clear of the others at the smallest and largest size.
TEST_F(TevroWindow, LayoutHasNoOverlapsAtEitherSize) {
    auto w = MakeWindow();
    w->show();
    // The schedule label must hold a whole schedule line while Running, not only its idle text.
    w->Label3->setText(tevro::ScheduleLine(QDateTime(QDate(2026, 12, 28), QTime(23, 58)), 59));
    QWidget* pingPage = w->Page_Ping;
    std::vector<int> rightMargins, bottomMargins, urlGrowth;
    const QString shots = qEnvironmentVariable("TEVRO_SCREENSHOT_DIR");
    for (const QSize size : {QSize(420, 300), QSize(800, 600)}) {
        w->resize(size);
        rightMargins.push_back(pingPage->width() - w->B_RunStop->geometry().right());
        bottomMargins.push_back(pingPage->height() - w->B_RunStop->geometry().bottom());
        urlGrowth.push_back(pingPage->width() - w->Row(1).Url->width());
        for (int index = 0; index < 2; ++index) {
            w->Notebook1->setCurrentIndex(index);
            QWidget* page = w->Notebook1->currentWidget();
            const QList<QWidget*> controls =
                page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
            for (QWidget* a : controls) {
                EXPECT_TRUE(page->rect().contains(a->geometry())) << a->objectName().toStdString();
                if (qobject_cast<QCheckBox*>(a) || qobject_cast<QLabel*>(a)) {
                    EXPECT_LE(a->sizeHint().width(), a->width())
                        << a->objectName().toStdString() << " cut off";
                }
                for (QWidget* b : controls) {
                    // Separator lines may meet at a corner.
                    if (a < b && !BothSeparators(a, b)) {
                        EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                            << a->objectName().toStdString() << " / " << b->objectName().toStdString()
                            << " at " << size.width();
                    }
                }
            }
            if (!shots.isEmpty())
                w->grab().save(QStringLiteral("%1/page%2-%3x%4.png")
                                   .arg(shots)
                                   .arg(index)
                                   .arg(size.width())
                                   .arg(size.height()));
        }
    }
    // Anchored controls keep their distances to the edges; a host edit widens with the window.
    EXPECT_EQ(rightMargins[0], rightMargins[1]);
    EXPECT_EQ(bottomMargins[0], bottomMargins[1]);
    EXPECT_EQ(urlGrowth[0], urlGrowth[1]);
    EXPECT_EQ(pingPage->width(), 800);
}

// A user copies the suggested command out of the message log: the text is the LOG file's, line for line.
TEST_F(TevroWindow, CopyAllGivesTheMessageLogAsTheLogFileHasIt) {
    auto w = MakeWindow();
    w->PingDone(nullptr, 4, 1, 1, 1, 0,
                QStringLiteral("host [192.0.2.1]:\r\n\tTry #1: successful.\r\n\tsudo setcap cap_net_raw+ep "
                               "'/opt/x/tevro' <or> more"));
    const QList<QAction*> items = w->PopupMenu1->actions();
    ASSERT_GE(items.size(), 2);
    EXPECT_TRUE(items.at(items.size() - 2)->isSeparator());
    QAction* copy = items.last();
    EXPECT_EQ(copy->objectName(), QStringLiteral("LOG_CopyAll"));
    EXPECT_EQ(copy->text(), QStringLiteral("Copy all"));
    copy->trigger();

    QFile file(settings.Folder() + QStringLiteral("/tevro.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList logged = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    // The header entry (two lines after the start-up lines and the UTC offset, which the message log
    // does not show) and the result (the last three).
    const QStringList expected = logged.mid(4, 2) + logged.mid(logged.size() - 4, 3);
    EXPECT_EQ(QGuiApplication::clipboard()->text().split(u'\n'), expected);
}
