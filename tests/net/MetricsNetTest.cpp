// End to end with Prometheus's own tools: the built program watches a loopback host, a silent host in
// a namespace of the test's own and a host text full of quoting characters; the real node_exporter,
// started here on 127.0.0.1 over a textfile folder of the test's, serves the metrics file, and promtool
// checks it.
#include "support/NetLab.h"
#include "support/QtPrinters.h"
#include "support/TevroProcess.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tevro::testing;

namespace {

const std::string kPrefix = "tvmetrics";
const char kNodeExporter[] = "prometheus-node-exporter";

// A port on 127.0.0.1 that nothing listens on right now.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// The body of an HTTP GET of `path` on 127.0.0.1:port; empty when nothing answers.
QByteArray HttpGet(int port, const char* path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    QByteArray response;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const QByteArray request = QByteArray("GET ") + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) ==
            request.size()) {
            char buffer[65536];
            for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                response.append(buffer, n);
        }
    }
    ::close(fd);
    const qsizetype body = response.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : response.mid(body + 4);
}

// The value of the one sample of `metric` whose labels include all of `labels`, or NaN.
double Sample(const QString& exposition, const QString& metric, const QStringList& labels) {
    for (const QString& line : exposition.split(QLatin1Char('\n'))) {
        if (!line.startsWith(metric + QLatin1Char('{')) && !line.startsWith(metric + QLatin1Char(' ')))
            continue;
        const qsizetype end = line.lastIndexOf(QLatin1Char(' '));
        const QString head = line.left(end);
        if (std::all_of(labels.begin(), labels.end(), [&](const QString& l) { return head.contains(l); }))
            return line.mid(end + 1).toDouble();
    }
    return std::numeric_limits<double>::quiet_NaN();
}

class MetricsNet : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsRoot())
            GTEST_SKIP() << "needs root: the silent host lives in a network namespace";
        if (QStandardPaths::findExecutable(QString::fromLatin1(kNodeExporter)).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("promtool")).isEmpty())
            GTEST_SKIP()
                << "node_exporter and promtool are not installed (packages prometheus-node-exporter, "
                   "prometheus)";
        RemoveStaleNamespaces(kPrefix);
        std::string error;
        m_client = NetNamespace::Create(kPrefix, "c", &error);
        ASSERT_TRUE(m_client) << error;
        m_silent = NetNamespace::Create(kPrefix, "s", &error);
        ASSERT_TRUE(m_silent) << error;
        ASSERT_TRUE(LinkNamespaces(*m_client, "10.233.1.1", *m_silent, "10.233.1.2", &error)) << error;
        ASSERT_TRUE(m_silent->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
        // A name server that refuses at once: the odd host text fails without waiting.
        ASSERT_TRUE(m_client->WriteEtcFile("resolv.conf", "nameserver 127.0.0.1\n", &error)) << error;
        m_program = m_sandbox.InstallProgram(QStringLiteral("tevro"));
        ASSERT_FALSE(m_program.isEmpty());
        ASSERT_TRUE(QDir().mkpath(m_sandbox.Path(QStringLiteral("textfiles"))));
    }

    void TearDown() override {
        for (QProcess* process : {&m_tevro, &m_exporter}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    bool StartNodeExporter() {
        m_port = FreePort();
        m_exporter.setProcessChannelMode(QProcess::MergedChannels);
        m_exporter.start(QString::fromLatin1(kNodeExporter),
                         {QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(m_port),
                          QStringLiteral("--collector.disable-defaults"),
                          QStringLiteral("--collector.textfile"),
                          QStringLiteral("--collector.textfile.directory=") +
                              m_sandbox.Path(QStringLiteral("textfiles"))});
        return m_exporter.waitForStarted() &&
               QTest::qWaitFor([this] { return !HttpGet(m_port, "/metrics").isEmpty(); }, 10000);
    }

    TevroSandbox m_sandbox;
    QString m_program;
    std::unique_ptr<NetNamespace> m_client;
    std::unique_ptr<NetNamespace> m_silent;
    QProcess m_tevro;
    QProcess m_exporter;
    int m_port = 0;
};

TEST_F(MetricsNet, NodeExporterServesTheProgramsFiguresAndPromtoolAcceptsThem) {
    ASSERT_TRUE(StartNodeExporter()) << m_exporter.readAll().toStdString();
    const QString odd = QStringLiteral("a\"b\\c\nd");
    const QString file = m_sandbox.Path(QStringLiteral("textfiles/tevro.prom"));
    m_sandbox.WriteSettings({{QStringLiteral("Active_01"), QStringLiteral("1")},
                             {QStringLiteral("Url_01"), QStringLiteral("127.0.0.1")},
                             {QStringLiteral("Count_01"), QStringLiteral("1")},
                             {QStringLiteral("Active_02"), QStringLiteral("1")},
                             {QStringLiteral("Url_02"), QStringLiteral("10.233.1.2")},
                             {QStringLiteral("Count_02"), QStringLiteral("1")},
                             {QStringLiteral("TimeOut_02"), QStringLiteral("500")},
                             {QStringLiteral("Active_03"), QStringLiteral("1")},
                             {QStringLiteral("Url_03"), odd},
                             {QStringLiteral("MetricsFile"), file}});
    m_tevro.setProcessEnvironment(m_sandbox.Environment());
    m_tevro.start(QStringLiteral("ip"),
                  {QStringLiteral("netns"), QStringLiteral("exec"), QString::fromStdString(m_client->Name()),
                   m_program, QStringLiteral("-ToRunning")});
    ASSERT_TRUE(m_tevro.waitForStarted());
    // The first round has ended when the third row's result is in the file.
    ASSERT_TRUE(WaitForLog(
        file,
        [](const QStringList& lines) {
            return lines.join(QString()).count(QStringLiteral("tevro_host_up{")) == 3;
        },
        30000))
        << m_tevro.readAllStandardError().toStdString();

    const QString served = QString::fromUtf8(HttpGet(m_port, "/metrics"));
    const QString loopback = QStringLiteral("host=\"127.0.0.1\"");
    EXPECT_EQ(Sample(served, QStringLiteral("node_textfile_scrape_error"), {}), 0.0) << served.toStdString();
    EXPECT_EQ(Sample(served, QStringLiteral("tevro_running"), {}), 1.0);
    EXPECT_EQ(Sample(served, QStringLiteral("tevro_host_up"), {loopback, QStringLiteral("slot=\"1\"")}), 1.0)
        << served.toStdString();
    EXPECT_EQ(Sample(served, QStringLiteral("tevro_host_up"), {QStringLiteral("host=\"10.233.1.2\"")}), 0.0);
    // node_exporter read the escaped host text back to what it was, and writes it escaped again.
    EXPECT_EQ(Sample(served, QStringLiteral("tevro_host_up"), {QStringLiteral("host=\"a\\\"b\\\\c\\nd\"")}),
              0.0)
        << served.toStdString();
    const double sum = Sample(served, QStringLiteral("tevro_reply_seconds_sum"), {loopback});
    EXPECT_GT(sum, 0.0) << "a loopback reply is timed to the microsecond, not rounded to 0 ms";
    EXPECT_LT(sum, 0.001);
    EXPECT_EQ(Sample(served, QStringLiteral("tevro_reply_seconds_count"), {loopback}), 1.0);
    EXPECT_EQ(Sample(served, QStringLiteral("tevro_requests_total"), {QStringLiteral("host=\"10.233.1.2\"")}),
              1.0);
    EXPECT_EQ(Sample(served, QStringLiteral("tevro_replies_total"), {QStringLiteral("host=\"10.233.1.2\"")}),
              0.0);

    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.setStandardInputFile(file);
    promtool.start(QStringLiteral("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
    ASSERT_TRUE(promtool.waitForFinished(30000));
    const QByteArray said = promtool.readAll();
    EXPECT_EQ(promtool.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.trimmed().isEmpty()) << "lint: " << said.toStdString();

    // The program's last word when it ends.
    ASSERT_TRUE(TerminateAndExpectCleanExit(m_tevro)) << m_tevro.readAllStandardError().toStdString();
    EXPECT_EQ(Sample(QString::fromUtf8(HttpGet(m_port, "/metrics")), QStringLiteral("tevro_running"), {}),
              0.0);
}

} // namespace
