// Launching through the desktop and the program's own name.
#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "desktop/FMXUtils.h"

using namespace tevro;

TEST(LaunchFileTest, FailuresAreAtMost32) {
    EXPECT_LE(LaunchFile(QStringLiteral("no-such-program-tevro-test"), QString(), QString(), SW_SHOWNORMAL), 32);
    EXPECT_LE(LaunchFile(QStringLiteral("/no/such/folder/prog"), QString(), QString(), SW_SHOWNORMAL), 32);
    EXPECT_LE(LaunchFile(QString(), QString(), QString(), SW_SHOWNORMAL), 32);
    EXPECT_EQ(LaunchFile(QStringLiteral("true"), QString(), QStringLiteral("/no/such/folder"), SW_SHOWNORMAL),
              LAUNCH_PATH_NOT_FOUND);
}

TEST(LaunchFileTest, StartsProgramInItsFolderWithParameters) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Texts far beyond 255 characters are taken whole: nothing is cut or overrun.
    const QString longName = QString(300, QLatin1Char('n'));
    const QString params = QStringLiteral("-c \"echo started > out.txt\" ") + longName;
    EXPECT_GT(LaunchFile(QStringLiteral("sh"), params, dir.path(), SW_SHOWNORMAL), 32);

    const QString out = dir.filePath(QStringLiteral("out.txt"));
    for (int i = 0; i < 200 && !QFileInfo::exists(out); ++i)
        QThread::msleep(10);
    EXPECT_TRUE(QFileInfo::exists(out));
}

TEST(ProgramFileNameTest, IsLastPathComponent) {
    // CTest starts this executable through its full path.
    EXPECT_EQ(ProgramFileName(), QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    EXPECT_EQ(ProgramFileName(), QStringLiteral("FMXUtilsTest"));
}
