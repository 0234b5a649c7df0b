// Loading the settings into the main window and saving them from it.
#include "support/LogViewText.h"
#include "support/WindowFixture.h"
#include "ui/SettingsAutosave.h"
#include "ui/SpinEdit.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>

using tevro::test::WindowFixture;

namespace {

class TevroSettings : public WindowFixture {
protected:
    QSettings Stored() const { return QSettings(settings.FileName(), QSettings::IniFormat); }
};

} // namespace

TEST_F(TevroSettings, FirstRunDefaults) {
    auto w = MakeWindow();
    EXPECT_TRUE(boxes.empty());
    for (int slot = 1; slot <= 3; ++slot) {
        const TSlotRow& row = w->Row(slot);
        EXPECT_FALSE(row.Active->isChecked()) << slot;
        EXPECT_EQ(row.Url->text(), QString()) << slot;
        EXPECT_EQ(row.TimeOut->value(), 1000);
        EXPECT_EQ(row.DataSize->value(), 32);
        EXPECT_EQ(row.TTL->value(), 32);
        EXPECT_EQ(row.Count->value(), 3);
    }
    EXPECT_EQ(w->GraphedSlot(), 1);
    EXPECT_FALSE(w->B_RunStop->isEnabled());
    EXPECT_TRUE(w->Add_SOCKET_ERROR->isChecked());
    EXPECT_TRUE(w->Add_PING_FAILED->isChecked());
    EXPECT_TRUE(w->Add_PING_SUCCESS->isChecked()) << "on after loading, although off in the design";
    EXPECT_EQ(w->SpinEdit_Intervall->value(), 1);
    EXPECT_FALSE(w->SB_Alert->isChecked());
}

TEST_F(TevroSettings, ValuesAreClampedToTheirControls) {
    WriteSettings(
        "TimeOut_02=100\nDataSize_01=2000\nTTL_03=-4\nCount_03=abc\nPingEvery=0\nTimeOut_01=1013\n");
    auto w = MakeWindow();
    EXPECT_EQ(w->Row(2).TimeOut->value(), 500);
    EXPECT_EQ(w->Row(1).DataSize->value(), 512);
    EXPECT_EQ(w->Row(3).TTL->value(), 32);
    EXPECT_EQ(w->Row(3).Count->value(), 3) << "not a number: the default";
    EXPECT_EQ(w->Row(1).TimeOut->value(), 1013) << "not rounded to the step";
    EXPECT_EQ(w->SpinEdit_Intervall->value(), 1);
    w.reset();
    WriteSettings("PingEvery=99\n");
    EXPECT_EQ(MakeWindow()->SpinEdit_Intervall->value(), 59);
}

TEST_F(TevroSettings, FlagTexts) {
    const std::pair<QByteArray, bool> cases[] = {{"2", true},  {"-1", true}, {"1", true},
                                                 {"0", false}, {"", false},  {"yes", false}};
    for (const auto& [text, checked] : cases) {
        WriteSettings("Active_01=" + text + "\nUrl_01=host\n");
        auto w = MakeWindow();
        EXPECT_EQ(w->Row(1).Active->isChecked(), checked) << text.constData();
        EXPECT_EQ(w->B_RunStop->isEnabled(), checked) << "an active slot with a host enables Run/Stop";
    }
}

TEST_F(TevroSettings, GraphedSlotFollowsTheStoredFlagsInLoadOrder) {
    WriteSettings("Active_01=1\nActive_02=1\nActive_03=1\nGraph_01=0\nGraph_02=1\nGraph_03=1\n");
    EXPECT_EQ(MakeWindow()->GraphedSlot(), 2);
    WriteSettings("Active_01=1\nActive_02=1\nActive_03=1\nGraph_01=0\nGraph_02=0\nGraph_03=0\n");
    EXPECT_EQ(MakeWindow()->GraphedSlot(), 0);
    // A single active slot is graphed although its own flag is off.
    WriteSettings("Active_02=1\nGraph_01=0\nGraph_02=0\nGraph_03=0\n");
    EXPECT_EQ(MakeWindow()->GraphedSlot(), 2);
}

TEST_F(TevroSettings, SaveWritesEveryValueAsTextAndReloads) {
    {
        auto w = MakeWindow();
        w->Row(2).Active->setChecked(true);
        w->Row(2).Url->setText(QStringLiteral("  gateway.example  "));
        w->Row(3).Count->setValue(42);
        w->Add_PING_SUCCESS->setChecked(false);
        w->SpinEdit_Intervall->setValue(15);
        w->SB_Alert->setChecked(true);
    }
    EXPECT_TRUE(boxes.empty());
    const QSettings stored = Stored();
    QStringList expected = {QStringLiteral("Add_SOCKET_ERROR"), QStringLiteral("Add_PING_FAILED"),
                            QStringLiteral("Add_PING_SUCCESS"), QStringLiteral("PingEvery"),
                            QStringLiteral("AlertEnabled")};
    for (int slot = 1; slot <= 3; ++slot)
        for (const char* name : {"Active", "Url", "Graph", "TimeOut", "DataSize", "TTL", "Count"})
            expected << QStringLiteral("%1_0%2").arg(QLatin1String(name)).arg(slot);
    ASSERT_EQ(expected.size(), 26);
    for (const QString& name : expected) {
        ASSERT_TRUE(stored.contains(name)) << name.toStdString();
        EXPECT_EQ(stored.value(name).typeId(), QMetaType::QString) << name.toStdString();
    }
    EXPECT_EQ(stored.value(QStringLiteral("Active_02")).toString(), QStringLiteral("1"));
    EXPECT_EQ(stored.value(QStringLiteral("Active_01")).toString(), QStringLiteral("0"));
    EXPECT_EQ(stored.value(QStringLiteral("Graph_02")).toString(), QStringLiteral("1"));
    EXPECT_EQ(stored.value(QStringLiteral("AlertEnabled")).toString(), QStringLiteral("1"));

    auto w = MakeWindow();
    EXPECT_EQ(w->Row(2).Url->text(), QStringLiteral("  gateway.example  ")) << "blanks kept";
    EXPECT_TRUE(w->Row(2).Active->isChecked());
    EXPECT_EQ(w->Row(3).Count->value(), 42);
    EXPECT_FALSE(w->Add_PING_SUCCESS->isChecked());
    EXPECT_EQ(w->SpinEdit_Intervall->value(), 15);
    EXPECT_TRUE(w->SB_Alert->isChecked());
    EXPECT_EQ(w->GraphedSlot(), 2);
}

// A hand edit with one value the file reads as a list and one word where a number belongs: every good
// value loads, one box names both bad ones, and the save keeps the user's file aside before rewriting.
TEST_F(TevroSettings, BadValuesCostOnlyThemselves) {
    const QByteArray original = "Active_03=1\nUrl_03=three\nUrl_01=a, b\nActive_01=1\nTimeOut_02=600\n"
                                "DataSize_03=abc\nPingEvery=30\nAdd_PING_SUCCESS=0\n";
    WriteSettings(original);
    auto w = MakeWindow();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, tevro::MessageKind::Error);
    const QString& text = boxes[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("** ERROR **\r\r")));
    EXPECT_TRUE(text.contains(settings.FileName())) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Url_01: found \"a, b\", using \"\""))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("DataSize_03: found \"abc\", using \"32\"")))
        << text.toStdString();

    EXPECT_EQ(w->Row(3).Url->text(), QStringLiteral("three"));
    EXPECT_TRUE(w->Row(3).Active->isChecked());
    EXPECT_TRUE(w->Row(1).Active->isChecked()) << "values after the bad one load too";
    EXPECT_EQ(w->Row(1).Url->text(), QString());
    EXPECT_EQ(w->Row(2).TimeOut->value(), 600);
    EXPECT_EQ(w->Row(3).DataSize->value(), 32);
    EXPECT_EQ(w->SpinEdit_Intervall->value(), 30);
    EXPECT_FALSE(w->Add_PING_SUCCESS->isChecked());

    w.reset();
    QFile backup(settings.FileName() + QStringLiteral(".bak"));
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), "[General]\n" + original);
    QFile saved(settings.FileName());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray written = saved.readAll();
    EXPECT_FALSE(written.contains("localhost")) << written.toStdString();
    EXPECT_EQ(Stored().value(QStringLiteral("Url_03")).toString(), QStringLiteral("three"));
    EXPECT_EQ(Stored().value(QStringLiteral("PingEvery")).toString(), QStringLiteral("30"));
}

TEST_F(TevroSettings, AnUnwritableStoreIsNamedInAnErrorAndTheWindowStillCloses) {
    auto w = MakeWindow();
    // A plain file where the store's folder belongs: the folder cannot be made, whoever runs the test.
    QFile blocker(settings.Folder() + QStringLiteral("/Kaltmer"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // The write a few seconds after a change tells of it once, in the message log: no box comes unasked.
    for (const char* host : {"one", "two"}) {
        w->Row(1).Url->setText(QString::fromLatin1(host));
        ASSERT_TRUE(w->Autosave()->Pending());
        w->Autosave()->SaveNow();
    }
    EXPECT_TRUE(boxes.empty());
    const QString log = tevro::test::LogViewText(*w->Memo_Log);
    EXPECT_EQ(log.count(QStringLiteral("The settings could not be saved")), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(settings.FileName())) << log.toStdString();
    w.reset();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, tevro::MessageKind::Error);
    EXPECT_TRUE(boxes[0].text.contains(settings.FileName())) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("\"Active_03\""))) << boxes[0].text.toStdString();
}
