// The settings store on a temporary INI file: value encoding, defaults, foreign values and failed saves.
#include "ui/SettingsStore.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using tevro::SettingsStore;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    QString File() const { return dir.path() + QStringLiteral("/Tevro.conf"); }

    void WriteFile(const QByteArray& text) {
        QFile file(File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    QByteArray ReadFile() const {
        QFile file(File());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

} // namespace

TEST(SettingsEncoding, IntegersAndFlags) {
    EXPECT_EQ(SettingsStore::DecodeInteger(QStringLiteral("8000"), 1), 8000);
    EXPECT_EQ(SettingsStore::DecodeInteger(QStringLiteral("-5"), 1), -5);
    EXPECT_EQ(SettingsStore::DecodeInteger(QString(), 7), 7);
    EXPECT_EQ(SettingsStore::DecodeInteger(QStringLiteral("abc"), 7), 7);
    EXPECT_EQ(SettingsStore::DecodeInteger(QStringLiteral("12abc"), 7), 7);
    EXPECT_EQ(SettingsStore::DecodeInteger(QStringLiteral("99999999999"), 7), 7) << "beyond 32 bits";

    EXPECT_TRUE(SettingsStore::DecodeFlag(QStringLiteral("2"), false));
    EXPECT_TRUE(SettingsStore::DecodeFlag(QStringLiteral("-1"), false));
    EXPECT_FALSE(SettingsStore::DecodeFlag(QStringLiteral("0"), true));
    EXPECT_FALSE(SettingsStore::DecodeFlag(QString(), false));
    EXPECT_TRUE(SettingsStore::DecodeFlag(QStringLiteral("yes"), true)) << "a word gives the default";

    EXPECT_EQ(SettingsStore::EncodeInteger(-40), QStringLiteral("-40"));
    EXPECT_EQ(SettingsStore::EncodeFlag(true), QStringLiteral("1"));
    EXPECT_EQ(SettingsStore::EncodeFlag(false), QStringLiteral("0"));
}

TEST_F(SettingsStoreTest, MissingValuesGiveTheDefaults) {
    SettingsStore store(File());
    QString text = QStringLiteral("x");
    int number = 0;
    bool flag = false;
    ASSERT_TRUE(store.ReadText(QStringLiteral("Url_01"), QString(), text));
    ASSERT_TRUE(store.ReadInteger(QStringLiteral("TimeOut_01"), 1000, number));
    ASSERT_TRUE(store.ReadFlag(QStringLiteral("Graph_01"), true, flag));
    EXPECT_EQ(text, QString());
    EXPECT_EQ(number, 1000);
    EXPECT_TRUE(flag);
}

TEST_F(SettingsStoreTest, TextsRoundTripExactly) {
    const QStringList texts = {
        QStringLiteral("  gateway  "),           QStringLiteral("a, b"),
        QStringLiteral("@Variant(x)"),           QStringLiteral("semi;colon = \"quoted\""),
        QStringLiteral("/home/u/Alarm Ton.wav"), QString()};
    {
        SettingsStore store(File());
        for (qsizetype i = 0; i < texts.size(); ++i)
            ASSERT_TRUE(store.WriteText(QStringLiteral("Text%1").arg(i), texts[i]));
        ASSERT_TRUE(store.Close()) << store.ErrorText().toStdString();
    }
    SettingsStore store(File());
    for (qsizetype i = 0; i < texts.size(); ++i) {
        QString value = QStringLiteral("unset");
        ASSERT_TRUE(store.ReadText(QStringLiteral("Text%1").arg(i), QStringLiteral("default"), value))
            << store.ErrorText().toStdString();
        EXPECT_EQ(value, texts[i]);
    }
}

TEST_F(SettingsStoreTest, NumbersAndFlagsAreWrittenAsPlainText) {
    {
        SettingsStore store(File());
        store.WriteInteger(QStringLiteral("TimeOut_01"), 8000);
        store.WriteInteger(QStringLiteral("Negative"), -3);
        store.WriteFlag(QStringLiteral("Active_01"), true);
        store.WriteFlag(QStringLiteral("Active_02"), false);
        ASSERT_TRUE(store.Close());
    }
    const QByteArray file = ReadFile();
    for (const char* line : {"TimeOut_01=8000\n", "Negative=-3\n", "Active_01=1\n", "Active_02=0\n"})
        EXPECT_TRUE(file.contains(line)) << line << " in\n" << file.toStdString();
}

TEST_F(SettingsStoreTest, SavingKeepsTheOtherValuesOfTheFile) {
    WriteFile("[General]\nGraphYScale=300\nsnd_SoundFile=/tmp/a.wav\nTimeOut_01=700\n");
    {
        SettingsStore store(File());
        store.WriteInteger(QStringLiteral("TimeOut_01"), 900);
        ASSERT_TRUE(store.Close());
    }
    SettingsStore store(File());
    QString sound;
    int scale = 0, timeout = 0;
    ASSERT_TRUE(store.ReadInteger(QStringLiteral("GraphYScale"), 200, scale));
    ASSERT_TRUE(store.ReadText(QStringLiteral("snd_SoundFile"), QString(), sound));
    ASSERT_TRUE(store.ReadInteger(QStringLiteral("TimeOut_01"), 1000, timeout));
    EXPECT_EQ(scale, 300);
    EXPECT_EQ(sound, QStringLiteral("/tmp/a.wav"));
    EXPECT_EQ(timeout, 900);
}

// A hand-edited line that the INI reader turns into a list, a typed value or a word where a number
// belongs: each takes its default, the reading goes on, and every one is named with what it held.
TEST_F(SettingsStoreTest, UnusableValuesTakeTheirDefaultsAndAreListed) {
    WriteFile("[General]\nUrl_02=one, two\nUrl_01=later\nRect=@Rect(1 2 3 4)\nCount_01=\n");
    SettingsStore store(File());
    QString text;
    int number = 0;
    store.ReadText(QStringLiteral("Url_02"), QStringLiteral("none"), text);
    EXPECT_EQ(text, QStringLiteral("none"));
    store.ReadText(QStringLiteral("Url_01"), QString(), text);
    EXPECT_EQ(text, QStringLiteral("later")) << "reading goes on past a bad value";
    store.ReadInteger(QStringLiteral("Rect"), 5, number);
    EXPECT_EQ(number, 5);
    store.ReadInteger(QStringLiteral("Count_01"), 3, number);
    EXPECT_EQ(number, 3) << "an empty value is as good as a missing one, and not reported";
    ASSERT_EQ(store.Replacements().size(), 2);
    EXPECT_EQ(store.Replacements()[1].name, QStringLiteral("Rect"));
    EXPECT_TRUE(store.LoadReport().contains(QStringLiteral("\rUrl_02: found \"one, two\", using \"none\"")))
        << store.LoadReport().toStdString();
}

TEST_F(SettingsStoreTest, TheFirstSaveAfterABadValueKeepsTheOriginalAside) {
    const QByteArray original = "[General]\nUrl_02=one, two\nTimeOut_02=600\n";
    WriteFile(original);
    const QString backup = SettingsStore::BackupFileName(File());
    {
        SettingsStore store(File());
        QString text;
        store.ReadText(QStringLiteral("Url_02"), QString(), text);
        store.WriteText(QStringLiteral("Url_02"), text);
        EXPECT_FALSE(QFile::exists(backup)) << "nothing is copied before the save";
        ASSERT_TRUE(store.Close()) << store.ErrorText().toStdString();
    }
    QFile kept(backup);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), original);
    EXPECT_TRUE(ReadFile().contains("TimeOut_02=600")) << "the other values stay in the file";

    // Copied once: a later save of the same run does not replace the user's original with ours.
    SettingsStore again(File());
    again.WriteInteger(QStringLiteral("TimeOut_02"), 700);
    ASSERT_TRUE(again.Close());
    kept.seek(0);
    EXPECT_EQ(kept.readAll(), original);
}

TEST_F(SettingsStoreTest, AFailedSaveNamesItsFirstValue) {
    // A plain file where the store's folder belongs: the folder cannot be made, whoever runs the test.
    WriteFile("not a folder");
    const QString unwritable = File() + QStringLiteral("/Tevro.conf");
    SettingsStore store(unwritable);
    ASSERT_TRUE(store.Ok()) << store.ErrorText().toStdString();
    store.WriteFlag(QStringLiteral("Active_03"), false);
    store.WriteText(QStringLiteral("Url_03"), QStringLiteral("x"));
    EXPECT_FALSE(store.Close());
    EXPECT_TRUE(store.ErrorText().contains(QStringLiteral("\"Active_03\"")))
        << store.ErrorText().toStdString();
    EXPECT_TRUE(store.ErrorText().contains(unwritable));
    EXPECT_FALSE(store.WriteFlag(QStringLiteral("Active_02"), true)) << "the save stops";
    EXPECT_EQ(ReadFile(), QByteArray("not a folder"));
}

TEST_F(SettingsStoreTest, AnUnreadableFileGivesDefaultsAndIsNeverOverwritten) {
    ASSERT_TRUE(QDir().mkpath(File()));
    SettingsStore store(File());
    bool flag = true;
    EXPECT_TRUE(store.ReadFlag(QStringLiteral("Active_01"), false, flag));
    EXPECT_FALSE(flag);
    EXPECT_TRUE(store.LoadReport().contains(File())) << store.LoadReport().toStdString();
    EXPECT_TRUE(store.WriteFlag(QStringLiteral("Active_01"), true));
    EXPECT_FALSE(store.Close()) << "what could not be read cannot be kept aside, so it is not replaced";
    EXPECT_TRUE(store.ErrorText().contains(File()));
    EXPECT_TRUE(QFileInfo(File()).isDir());
}
