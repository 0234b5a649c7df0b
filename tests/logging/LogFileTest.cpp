// LOG file naming, rotation on a temporary folder, and the line writer.
#include "logging/LogFile.h"

#include "common/Product.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tevro;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

class RotationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_log = m_dir.filePath(QStringLiteral("tevro.log"));
    }

    QString Gen(int n) const { return GenerationFileName(m_log, n); }

    // Each file holds its own origin, so a test can follow it through the renames.
    void MakeGenerations(int from, int to) {
        for (int n = from; n <= to; ++n)
            WriteFile(Gen(n), "gen " + QByteArray::number(n));
    }

    QStringList FilesInFolder() const { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir m_dir;
    QString m_log;
};

// Fails the moves and deletions it is told to, and otherwise acts on the real folder.
class FlakyDisk final : public RotationDisk {
public:
    bool Exists(const QString& path) const override { return LocalDisk().Exists(path); }
    bool Remove(const QString& path) override { return !failing.contains(path) && LocalDisk().Remove(path); }
    bool Rename(const QString& from, const QString& to) override {
        return !failing.contains(from) && LocalDisk().Rename(from, to);
    }
    QSet<QString> failing;
};

} // namespace

TEST(LogFileNameTest, LowerCasesOnlyTheFileNameAndReplacesTheExtension) {
    EXPECT_EQ(LogFileNameFor(QStringLiteral("/home/Ann/Apps/Tevro")),
              QStringLiteral("/home/Ann/Apps/tevro.log"));
    EXPECT_EQ(LogFileNameFor(QStringLiteral("/Tools/TEVRO.EXE")), QStringLiteral("/Tools/tevro.log"));
    EXPECT_EQ(LogFileNameFor(QStringLiteral("/opt/v3.01/tevro")), QStringLiteral("/opt/v3.01/tevro.log"));
    EXPECT_EQ(LogFileNameFor(QStringLiteral("/opt/My.Tools/Tevro.Beta.bin")),
              QStringLiteral("/opt/My.Tools/tevro.beta.log"));
    // No locale rules: only A to Z change.
    EXPECT_EQ(LogFileNameFor(QStringLiteral("/x/ÄTevro")), QStringLiteral("/x/Ätevro.log"));
}

TEST(LogFileNameTest, GenerationsHaveAtLeastThreeDigits) {
    EXPECT_EQ(GenerationFileName(QStringLiteral("/a/tevro.log"), 1), QStringLiteral("/a/tevro.log.001"));
    EXPECT_EQ(GenerationFileName(QStringLiteral("/a/tevro.log"), 100), QStringLiteral("/a/tevro.log.100"));
    EXPECT_EQ(GenerationFileName(QStringLiteral("/a/tevro.log"), 1000), QStringLiteral("/a/tevro.log.1000"));
}

TEST(LogFileNameTest, BesideAWritableProgramElseInTheUserFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fallback = dir.filePath(QStringLiteral("data/Tevro"));

    EXPECT_EQ(ChooseLogFileName(dir.filePath(QStringLiteral("Tevro")), fallback),
              dir.filePath(QStringLiteral("tevro.log")));

    EXPECT_EQ(ChooseLogFileName(QStringLiteral("/no/such/folder/Tevro"), fallback),
              fallback + QStringLiteral("/tevro.log"));
    EXPECT_TRUE(QFileInfo(fallback).isDir()) << "the user folder is created for the first line";

    if (::geteuid() != 0) { // root writes anywhere, so only an ordinary user sees the read-only case
        const QString readOnly = dir.filePath(QStringLiteral("bin"));
        ASSERT_TRUE(QDir().mkdir(readOnly));
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(ChooseLogFileName(readOnly + QStringLiteral("/tevro"), fallback),
                  fallback + QStringLiteral("/tevro.log"));
    }
}

// The program folder's own rights do not matter for a system folder: root could write /usr/bin, but an
// installed program's LOG belongs to each user. Nothing is created there to find out.
TEST(LogFileNameTest, SystemProgramFoldersAlwaysUseTheUserFolder) {
    QTemporaryDir dir;
    const QString fallback = dir.filePath(QStringLiteral("data/Tevro"));
    for (const char* program : {"/usr/bin/tevro", "/usr/local/bin/Tevro", TEVRO_INSTALL_BINDIR "/tevro"})
        EXPECT_EQ(ChooseLogFileName(QString::fromUtf8(program), fallback), fallback + QStringLiteral("/tevro.log"))
            << program;
    EXPECT_EQ(QDir(QStringLiteral("/usr/bin")).entryList({QStringLiteral(".tevro-write-test-*")},
                                                        QDir::Hidden | QDir::Files),
              QStringList());
}

TEST_F(RotationTest, SomethingThatIsNoFileIsNeverMovedDeletedOrWritten) {
    ASSERT_TRUE(QDir().mkdir(m_log));
    ASSERT_TRUE(QDir().mkdir(Gen(1)));
    WriteFile(m_log + QStringLiteral("/inside"), "kept");
    EXPECT_TRUE(ExistsButIsNotAFile(m_log));
    EXPECT_FALSE(ExistsButIsNotAFile(m_dir.filePath(QStringLiteral("missing"))));

    const RotationOutcome outcome = RotateLogFiles(m_log);
    EXPECT_FALSE(outcome.rotated);
    EXPECT_TRUE(QFileInfo(m_log).isDir());
    EXPECT_EQ(ReadAll(m_log + QStringLiteral("/inside")), "kept");
    EXPECT_TRUE(QFileInfo(Gen(1)).isDir());

    // A pipe would block the writer until someone reads it: refused before it is opened.
    const QString pipe = m_dir.filePath(QStringLiteral("pipe.log"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QString error;
    EXPECT_FALSE(AppendLogLine(pipe, QStringLiteral("lost"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not a regular file"))) << error.toStdString();
    EXPECT_FALSE(CanAppendTo(m_log, &error));
}

TEST_F(RotationTest, FirstStartRotatesNothing) {
    const RotationOutcome outcome = RotateLogFiles(m_log);
    EXPECT_FALSE(outcome.rotated);
    EXPECT_FALSE(outcome.oldestDeleted);
    EXPECT_TRUE(FilesInFolder().isEmpty());
    EXPECT_EQ(StartupLogLines(outcome, m_log),
              (QStringList{QString(), ProductLine() + QStringLiteral("."), QString()}));
}

TEST_F(RotationTest, LogWithoutGenerationsBecomesGenerationOne) {
    WriteFile(m_log, "previous");
    const RotationOutcome outcome = RotateLogFiles(m_log);
    EXPECT_TRUE(outcome.rotated);
    EXPECT_FALSE(outcome.oldestDeleted);
    EXPECT_FALSE(QFileInfo::exists(m_log));
    EXPECT_EQ(ReadAll(Gen(1)), "previous");
    EXPECT_EQ(StartupLogLines(outcome, m_log),
              (QStringList{QString(), ProductLine() + QStringLiteral("."), QString(),
                           QStringLiteral("Previous LOG(s) rotated successfully."), QString()}));
}

TEST_F(RotationTest, FullChainDropsTheOldest) {
    WriteFile(m_log, "previous");
    MakeGenerations(1, 100);
    const RotationOutcome outcome = RotateLogFiles(m_log);
    EXPECT_TRUE(outcome.rotated);
    EXPECT_TRUE(outcome.oldestDeleted);
    EXPECT_EQ(ReadAll(Gen(1)), "previous");
    EXPECT_EQ(ReadAll(Gen(2)), "gen 1");
    EXPECT_EQ(ReadAll(Gen(100)), "gen 99");
    EXPECT_FALSE(QFileInfo::exists(Gen(101)));
    EXPECT_EQ(FilesInFolder().size(), 100);
    EXPECT_EQ(StartupLogLines(outcome, m_log).mid(3),
              (QStringList{QStringLiteral("Oldest LOG file (") + m_dir.path() +
                               QStringLiteral("/tevro.log.100) deleted."),
                           QStringLiteral("Previous LOG(s) rotated successfully."), QString()}));
}

TEST_F(RotationTest, GenerationsBeyondTheLimitAreDeletedButOnlyTheLimitIsNamed) {
    WriteFile(m_log, "previous");
    MakeGenerations(1, 103);
    const RotationOutcome outcome = RotateLogFiles(m_log);
    EXPECT_TRUE(outcome.oldestDeleted);
    for (int n = 101; n <= 103; ++n)
        EXPECT_FALSE(QFileInfo::exists(Gen(n))) << n;
    EXPECT_EQ(ReadAll(Gen(100)), "gen 99");
    EXPECT_EQ(FirstFreeLogNumber(m_log), 101);
    EXPECT_TRUE(StartupLogLines(outcome, m_log).at(3).endsWith(QStringLiteral("tevro.log.100) deleted.")));
}

TEST_F(RotationTest, GapEndsTheChain) {
    WriteFile(m_log, "previous");
    MakeGenerations(1, 2);
    MakeGenerations(4, 4);
    EXPECT_EQ(FirstFreeLogNumber(m_log), 3);
    const RotationOutcome outcome = RotateLogFiles(m_log);
    EXPECT_TRUE(outcome.rotated);
    EXPECT_FALSE(outcome.oldestDeleted);
    EXPECT_EQ(ReadAll(Gen(1)), "previous");
    EXPECT_EQ(ReadAll(Gen(2)), "gen 1");
    EXPECT_EQ(ReadAll(Gen(3)), "gen 2");
    EXPECT_EQ(ReadAll(Gen(4)), "gen 4");
}

TEST_F(RotationTest, FourDigitGenerations) {
    MakeGenerations(1, 999);
    MakeGenerations(1000, 1000);
    EXPECT_EQ(FirstFreeLogNumber(m_log), 1001);
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("tevro.log.1000"))));
    WriteFile(m_log, "previous");
    EXPECT_TRUE(RotateLogFiles(m_log).oldestDeleted);
    EXPECT_EQ(FilesInFolder().size(), 100);
    EXPECT_EQ(ReadAll(Gen(100)), "gen 99");
}

TEST_F(RotationTest, LogThatCannotMoveIsNotReportedAsRotated) {
    WriteFile(m_log, "previous");
    MakeGenerations(1, 1);
    FlakyDisk disk;
    disk.failing.insert(Gen(1)); // generation 1 stays, so the LOG has nowhere to go
    const RotationOutcome outcome = RotateLogFiles(m_log, disk);
    EXPECT_FALSE(outcome.rotated);
    EXPECT_TRUE(outcome.notMoved);
    EXPECT_EQ(ReadAll(m_log), "previous");
    const QStringList lines = StartupLogLines(outcome, m_log);
    EXPECT_FALSE(lines.contains(QStringLiteral("Previous LOG(s) rotated successfully.")));
    EXPECT_EQ(lines.mid(3),
              (QStringList{QStringLiteral("Previous LOG could not be rotated: this run is appended to it."),
                           QString()}));
}

TEST_F(RotationTest, OldestThatCannotBeDeletedIsNotReportedAsDeleted) {
    WriteFile(m_log, "previous");
    MakeGenerations(1, 100);
    FlakyDisk disk;
    disk.failing.insert(Gen(100));
    const RotationOutcome outcome = RotateLogFiles(m_log, disk);
    EXPECT_FALSE(outcome.oldestDeleted);
    EXPECT_TRUE(outcome.notMoved);
    EXPECT_EQ(ReadAll(Gen(100)), "gen 100");
    EXPECT_EQ(ReadAll(Gen(1)), "gen 1");
}

TEST_F(RotationTest, LinesAreAppendedWithCrLfAsUtf8WithoutMark) {
    EXPECT_TRUE(AppendLogLine(m_log, QString()));
    EXPECT_TRUE(AppendLogLine(m_log, QStringLiteral("Grüße")));
    // An entry with its own line breaks is written unchanged.
    EXPECT_TRUE(AppendLogLine(m_log, QStringLiteral("(FAILED) head:\r\n   ## Try #1: failed")));
    EXPECT_EQ(ReadAll(m_log), QByteArray("\r\nGr\xc3\xbc\xc3\x9f"
                                         "e\r\n(FAILED) head:\r\n   ## Try #1: failed\r\n"));
}

TEST_F(RotationTest, UnwritableLogReportsAndLaterLinesStillArrive) {
    const QString blocked = m_dir.filePath(QStringLiteral("gone/tevro.log"));
    QString error;
    EXPECT_FALSE(AppendLogLine(blocked, QStringLiteral("lost"), &error));
    EXPECT_TRUE(error.contains(blocked));

    ASSERT_TRUE(QDir().mkdir(m_dir.filePath(QStringLiteral("gone"))));
    EXPECT_TRUE(AppendLogLine(blocked, QStringLiteral("kept")));
    EXPECT_EQ(ReadAll(blocked), "kept\r\n");
}
