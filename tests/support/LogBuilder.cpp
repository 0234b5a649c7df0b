// The downtime table runs on the builder's set time, as the window's runs on its clock.
#include "LogBuilder.h"

#include "engine/IcmpEcho.h"
#include "engine/TracePath.h"
#include "logging/LogFile.h"
#include "monitor/LogEntry.h"

namespace tevro::testing {

class LogBuilder::Clock final : public DowntimeClock {
public:
    explicit Clock(const LogBuilder& builder) : m_builder(builder) {}
    QDateTime Now() const override { return m_builder.m_now; }
    std::chrono::milliseconds Elapsed() const override {
        return std::chrono::milliseconds(m_builder.m_now.toMSecsSinceEpoch());
    }

private:
    const LogBuilder& m_builder;
};

LogBuilder::LogBuilder(QString logFileName, QDateTime start)
    : m_fileName(std::move(logFileName)), m_now(std::move(start)), m_clock(std::make_unique<Clock>(*this)),
      m_table(std::make_unique<DowntimeTable>(
          *m_clock, [this](const QString& line) { AppendLogLine(m_fileName, line); }, QLocale::c())) {}

LogBuilder::~LogBuilder() = default;

void LogBuilder::StartRun(bool rotated) {
    RotationOutcome rotation;
    rotation.rotated = rotated;
    for (const QString& line : StartupLogLines(rotation, m_fileName))
        AppendLogLine(m_fileName, line);
    Entry(PING_NONE, -1,
          QStringLiteral("All output will be logged to:\r\n\t\"") + m_fileName + QLatin1Char('"'));
    m_table->Reset();
    if (m_table->Open())
        m_lastResultCode = 0;
}

void LogBuilder::EndRun() {
    m_table->Close(m_lastResultCode);
}

void LogBuilder::Success(const QString& host, const std::vector<int>& times) {
    std::vector<FakeTry> tries;
    for (int ms : times)
        tries.push_back(ms < 0 ? Unanswered() : Answered(static_cast<std::uint32_t>(ms)));
    const PingResult result = Ping(host, std::move(tries));
    Entry(result.ResultCode, result.PacketLoss, result.Report);
}

void LogBuilder::Failure(const QString& host, int tries) {
    const PingResult result = Ping(host, std::vector<FakeTry>(static_cast<std::size_t>(tries), Unanswered()));
    Entry(result.ResultCode, result.PacketLoss, result.Report);
}

void LogBuilder::SocketError(const QString& host) {
    m_world.resolver->names.erase(host.toStdString());
    const PingResult result = RunPing({host, 1000, 32, 64, 3}, m_world.Environment(), m_stop);
    Entry(result.ResultCode, result.PacketLoss, result.Report);
}

void LogBuilder::InvalidParameters(const QString& host) {
    const PingResult result = RunPing({host, 0, 32, 64, 3}, m_world.Environment(), m_stop);
    Entry(result.ResultCode, result.PacketLoss, result.Report);
}

void LogBuilder::PathTrace(const QString& host) {
    m_world.network->tries.assign({FakeTry{{}, {IcmpError(2, kIcmpTimeExceeded)}}});
    Entry(PING_NONE, -1, TraceReport(TracePath(host, m_world.Environment(), m_stop)));
}

void LogBuilder::Info(const QString& text) {
    Entry(PING_NONE, -1, text);
}

PingResult LogBuilder::Ping(const QString& host, std::vector<FakeTry> tries) {
    const std::string name = host.toStdString();
    if (!m_world.resolver->names.contains(name)) {
        const std::string address = "192.0.2." + std::to_string(m_world.resolver->names.size() % 250 + 1);
        m_world.resolver->names[name] = Ip(address.c_str());
    }
    m_world.network->tries.assign(tries.begin(), tries.end());
    m_world.network->sent.clear();
    m_world.network->receiveWaits.clear();
    return RunPing({host, 1000, 32, 64, static_cast<int>(tries.size())}, m_world.Environment(), m_stop);
}

void LogBuilder::Entry(int resultCode, int packetLoss, const QString& report) {
    AppendLogLine(m_fileName, FileEntry(resultCode, packetLoss, report, m_now));
    m_table->Update(resultCode, m_lastResultCode);
    m_lastResultCode = resultCode;
}

} // namespace tevro::testing
