// The built program under a real window manager (openbox on its own Xvfb): the whole window, frame and
// title bar included, stands 4 pixels inside the bottom-left corner of the available area, and the
// title bar shows the caption exactly.
#include "common/Product.h"
#include "support/QtPrinters.h"
#include "support/TevroProcess.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QScopeGuard>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tevro::testing;

namespace {

// Numbers after "=" in an xprop line ("_NET_FRAME_EXTENTS(CARDINAL) = 1, 1, 20, 5").
QList<int> Cardinals(const QString& line) {
    QList<int> numbers;
    for (const QString& part : line.section(u'=', 1).split(u','))
        numbers << part.trimmed().toInt();
    return numbers;
}

int Field(const QString& xwininfo, const QString& name) {
    const auto match = QRegularExpression(name + QStringLiteral(":\\s+(-?\\d+)")).match(xwininfo);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

TEST(PlacementTest, TheWholeFrameStandsInsideTheBottomLeftCorner) {
    for (const char* tool : {"openbox", "Xvfb", "xwininfo", "xprop"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is missing: install openbox, xvfb and x11-utils (scripts/deps does)";

    int number = 300 + static_cast<int>(::getpid() % 300);
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
        ++number;
    const QString display = QStringLiteral(":%1").arg(number);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);

    // Without -noreset the server starts afresh whenever its last client leaves, and refuses connections
    // meanwhile: the window manager, started just after a probe disconnected, could find no display.
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {display, QStringLiteral("-screen"), QStringLiteral("0"),
                                        QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp"), QStringLiteral("-noreset")});
    ASSERT_TRUE(xvfb.waitForStarted());
    const auto stop = [](QProcess& process) {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
    };
    QProcess openbox;
    QProcess tevro;
    auto cleanUp = qScopeGuard([&] {
        stop(tevro);
        stop(openbox);
        stop(xvfb);
    });
    const auto root = [&env](const QString& property) {
        return Capture(QStringLiteral("xprop"), {QStringLiteral("-root"), property}, env);
    };
    // xprop answers (if only "not found") once the server is up.
    ASSERT_TRUE(PollUntil([&] { return !root(QStringLiteral("_NET_WORKAREA")).isEmpty(); }, 10000));
    openbox.setProcessEnvironment(env);
    openbox.start(QStringLiteral("openbox"), {});
    ASSERT_TRUE(openbox.waitForStarted());
    ASSERT_TRUE(PollUntil([&] { return root(QStringLiteral("_NET_WORKAREA")).contains(u'='); }, 10000));

    TevroSandbox sandbox;
    const QString program = sandbox.InstallProgram(QStringLiteral("tevro"));
    QProcessEnvironment programEnv = sandbox.Environment();
    programEnv.insert(QStringLiteral("DISPLAY"), display);
    programEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    tevro.setProcessEnvironment(programEnv);
    tevro.start(program, {});
    ASSERT_TRUE(tevro.waitForStarted());

    const QString caption = tevro::ProductLine() + QStringLiteral(" [Inactive].");
    QString window;
    ASSERT_TRUE(PollUntil(
        [&] {
            window = MainWindowId(caption, env);
            return !window.isEmpty();
        },
        15000))
        << "no window titled exactly \"" << caption.toStdString() << "\"";

    const QList<int> area = Cardinals(root(QStringLiteral("_NET_WORKAREA")));
    ASSERT_GE(area.size(), 4);
    const int areaLeft = area[0];
    const int areaBottom = area[1] + area[3];
    int frameLeft = 0;
    int frameBottom = 0;
    // The frame arrives after the first showing; the window follows it.
    const bool placed = PollUntil(
        [&] {
            const QList<int> extents = Cardinals(
                Capture(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")},
                    env));
            const QString info = Capture(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}, env);
            if (extents.size() != 4)
                return false;
            frameLeft = Field(info, QStringLiteral("Absolute upper-left X")) - extents[0];
            frameBottom = Field(info, QStringLiteral("Absolute upper-left Y")) + Field(info, QStringLiteral("Height")) +
                          extents[3];
            return extents[2] > 0 && frameLeft == areaLeft + 4 && frameBottom == areaBottom - 4;
        },
        10000);
    EXPECT_TRUE(placed) << "frame left " << frameLeft << ", bottom " << frameBottom << " in an area ending at "
                        << areaBottom;
    EXPECT_TRUE(TerminateAndExpectCleanExit(tevro));
}
