// End to end on a real X server: a session bus that takes connections and never answers. The built
// program pings two hosts that fail (127.0.0.1 and 127.0.0.2 in a namespace whose loopback is down), so
// every round wants a notification; it must show its window, log every round and end on SIGTERM.
#include "support/NetLab.h"
#include "support/QtPrinters.h"
#include "support/TevroProcess.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tevro::testing;

namespace {

// Listens, and never accepts or answers: a connection is taken into the backlog and left waiting.
class SilentSocket {
public:
    explicit SilentSocket(const QString& path) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        if (m_fd < 0 || static_cast<size_t>(name.size()) >= sizeof(address.sun_path))
            return;
        std::copy(name.begin(), name.end(), address.sun_path);
        m_listening = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                      ::listen(m_fd, 16) == 0;
    }
    ~SilentSocket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SilentSocket(const SilentSocket&) = delete;
    SilentSocket& operator=(const SilentSocket&) = delete;

    bool Listening() const { return m_listening; }

private:
    int m_fd = -1;
    bool m_listening = false;
};

int Count(const QStringList& lines, const QString& text) {
    int count = 0;
    for (const QString& line : lines)
        count += line.contains(text) ? 1 : 0;
    return count;
}

} // namespace

TEST(SilentBusTest, ASilentSessionBusHoldsUpNeitherTheWindowNorTheRoundsNorTheEnd) {
    if (!IsRoot())
        GTEST_SKIP() << "needs root: the failing hosts live in a network namespace";
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X server (run through tests/support/run-under-x)";
    std::string error;
    const std::unique_ptr<NetNamespace> lab = NetNamespace::Create("tevro-bus", "down", &error);
    ASSERT_TRUE(lab) << error;
    ASSERT_EQ(lab->Exec({"ip", "link", "set", "lo", "down"}).exitCode, 0);

    TevroSandbox sandbox;
    const QString program = sandbox.InstallProgram(QStringLiteral("tevro"));
    ASSERT_FALSE(program.isEmpty());
    const SilentSocket bus(sandbox.Path(QStringLiteral("silent-bus")));
    ASSERT_TRUE(bus.Listening());
    sandbox.WriteSettings({{QStringLiteral("Active_01"), QStringLiteral("1")},
                           {QStringLiteral("Url_01"), QStringLiteral("127.0.0.1")},
                           {QStringLiteral("Count_01"), QStringLiteral("1")},
                           {QStringLiteral("Active_02"), QStringLiteral("1")},
                           {QStringLiteral("Url_02"), QStringLiteral("127.0.0.2")},
                           {QStringLiteral("Count_02"), QStringLiteral("1")}});
    QProcessEnvironment env = sandbox.Environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"),
               QStringLiteral("xcb")); // where Qt's accessibility bridge runs
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + sandbox.Path(QStringLiteral("silent-bus")));
    QProcess tevro;
    tevro.setProcessEnvironment(env);
    tevro.start(QStringLiteral("ip"),
                {QStringLiteral("netns"), QStringLiteral("exec"), QString::fromStdString(lab->Name()),
                 program, QStringLiteral("-ToRunning")});
    ASSERT_TRUE(tevro.waitForStarted());

    // "-ToRunning" acts when the window is first shown; each failed round would have wanted the bus.
    const QString log = sandbox.Path(QStringLiteral("bin/tevro.log"));
    const bool logged = WaitForLog(
        log, [](const QStringList& lines) { return Count(lines, QStringLiteral("(FAILED)")) >= 2; }, 20000);
    const qint64 took = TerminateWithin(tevro, 2000);
    const QStringList lines = ReadLogLines(log);
    EXPECT_TRUE(logged) << lines.join(u'\n').toStdString();
    ASSERT_GE(took, 0) << "not ended cleanly 2 s after SIGTERM";

    const QString said = QString::fromLocal8Bit(tevro.readAllStandardError());
    const QString note = QStringLiteral("The session bus (unix:path=%1) does not answer")
                             .arg(sandbox.Path(QStringLiteral("silent-bus")));
    EXPECT_EQ(said.count(note), 1) << said.toStdString();
    EXPECT_EQ(Count(lines, note), 1) << "the message log's entry, in the LOG as well";
}
