// The single-instance lock: a live holder blocks, however old its lock; a dead one does not.
#include "desktop/SingleInstance.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tevro;
using Result = SingleInstanceLock::Result;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QTemporaryDir m_dir;
};

qint64 PidOfAFinishedProcess() {
    QProcess process;
    process.start(QStringLiteral("true"), {});
    process.waitForStarted();
    const qint64 pid = process.processId();
    process.waitForFinished();
    return pid;
}

} // namespace

TEST_F(SingleInstanceTest, SecondCopyOfTheSameFileIsRefused) {
    SingleInstanceLock first(QStringLiteral("tevro"), m_dir.path());
    ASSERT_EQ(first.TryAcquire(), Result::Acquired);
    EXPECT_EQ(first.FileName(), m_dir.filePath(QStringLiteral("tevro.lock")));

    SingleInstanceLock second(QStringLiteral("tevro"), m_dir.path());
    EXPECT_EQ(second.TryAcquire(), Result::HeldByAnotherCopy);

    // Names are case-sensitive, and another file name is another program.
    SingleInstanceLock renamed(QStringLiteral("Tevro"), m_dir.path());
    EXPECT_EQ(renamed.TryAcquire(), Result::Acquired);
}

TEST_F(SingleInstanceTest, ReleasedWhenTheHolderEnds) {
    {
        SingleInstanceLock first(QStringLiteral("tevro"), m_dir.path());
        ASSERT_EQ(first.TryAcquire(), Result::Acquired);
    }
    SingleInstanceLock next(QStringLiteral("tevro"), m_dir.path());
    EXPECT_EQ(next.TryAcquire(), Result::Acquired);
}

TEST_F(SingleInstanceTest, OldLockOfARunningCopyStillBlocks) {
    SingleInstanceLock first(QStringLiteral("tevro"), m_dir.path());
    ASSERT_EQ(first.TryAcquire(), Result::Acquired);
    QFile file(first.FileName());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    file.close();

    SingleInstanceLock second(QStringLiteral("tevro"), m_dir.path());
    EXPECT_EQ(second.TryAcquire(), Result::HeldByAnotherCopy);
}

TEST_F(SingleInstanceTest, LockLeftByACrashedCopyDoesNotBlock) {
    const QString path = m_dir.filePath(QStringLiteral("tevro.lock"));
    QByteArray content;
    {
        SingleInstanceLock crashed(QStringLiteral("tevro"), m_dir.path());
        ASSERT_EQ(crashed.TryAcquire(), Result::Acquired);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        content = file.readAll();
    }
    // Put the lock back as a copy that died without removing it would have left it.
    const qsizetype endOfPid = content.indexOf('\n');
    content.replace(0, endOfPid, QByteArray::number(PidOfAFinishedProcess()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    SingleInstanceLock next(QStringLiteral("tevro"), m_dir.path());
    EXPECT_EQ(next.TryAcquire(), Result::Acquired);
}

TEST_F(SingleInstanceTest, UnusableFolderIsAFailureNamingTheFile) {
    SingleInstanceLock lock(QStringLiteral("tevro"), m_dir.filePath(QStringLiteral("missing")));
    QString error;
    EXPECT_EQ(lock.TryAcquire(&error), Result::Failed);
    EXPECT_TRUE(error.contains(lock.FileName())) << error.toStdString();
}

TEST_F(SingleInstanceTest, LivesInTheRuntimeFolder) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
    EXPECT_EQ(SingleInstanceLock(QStringLiteral("tevro")).FileName(),
              m_dir.filePath(QStringLiteral("tevro.lock")));
    qunsetenv("XDG_RUNTIME_DIR");
    const QString fallback = SingleInstanceLock(QStringLiteral("tevro")).FileName();
    EXPECT_EQ(QFileInfo(fallback).path(), QDir::tempPath());
    EXPECT_NE(fallback, QDir::temp().filePath(QStringLiteral("tevro.lock"))) << "one lock per user";
    if (!saved.isNull())
        qputenv("XDG_RUNTIME_DIR", saved);
}
