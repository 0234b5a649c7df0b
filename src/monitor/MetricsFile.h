// Figures for Prometheus: each watched host's rounds, requests, replies and reply-time histogram, and
// the program's own state, as the text exposition format in a file that node_exporter's textfile
// collector serves. The file is replaced atomically after every round. Counters start at zero with each
// start of the program, as every exporter's do; rate() and increase() take the reset in their stride.
#pragma once

#include "engine/PingRun.h"
#include "logging/FailureStretch.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace tevro {

// Upper bounds of the reply-time buckets, in microseconds: 100 µs to 8 s, the longest time-out.
inline constexpr std::array<std::int64_t, 16> kReplyBucketsUs = {
    100,    200,     500,     1'000,   2'000,     5'000,     10'000,    20'000,
    50'000, 100'000, 200'000, 500'000, 1'000'000, 2'000'000, 4'000'000, 8'000'000};

// The program's side of the figures. A state the program does not judge yet stays empty and is left
// out of the file.
struct ProgramState {
    bool running = false;
    std::optional<bool> localNetworkUp; // tevro_local_network_up
    std::optional<bool> asleep;         // tevro_asleep
};

// A label value as the exposition format quotes it: backslash, double quote and line feed escaped.
QString EscapeLabelValue(const QString& value);
// Microseconds (0 or more) as seconds in decimal, exact and without trailing zeros: 120 gives "0.00012".
QString SecondsText(std::int64_t microseconds);

class PrometheusMetrics {
public:
    // One finished ping of a slot (1..3) whose host text, as pinged, is `host`; `atMs` is the wall
    // clock's moment of the result. A slot whose host text changed starts its series again at zero.
    void RecordRound(int slot, const QString& host, const PingResult& result, qint64 atMs);
    // A slot that is no longer watched leaves the file.
    void Forget(int slot);
    void SetProgramState(const ProgramState& state) { m_program = state; }
    const ProgramState& Program() const { return m_program; }

    // The whole file: a # HELP and a # TYPE line for every metric that has samples, then its samples.
    QByteArray Exposition() const;

private:
    struct Series {
        QString host;
        IpFamily family = IpFamily::V4;
        bool up = false;
        std::uint64_t rounds = 0;
        std::uint64_t failedRounds = 0;
        std::uint64_t requests = 0;
        std::uint64_t replies = 0;
        std::array<std::uint64_t, kReplyBucketsUs.size()> buckets{}; // not cumulative
        std::int64_t sumUs = 0;
        qint64 lastRoundMs = 0;
    };
    std::array<std::optional<Series>, 3> m_slots;
    ProgramState m_program;
};

// Writes `bytes` to a temporary file in the folder of `path` and renames it over `path`, so that a
// reader sees the old file or the new one, never a part. Nothing is left behind on a failure, and the
// old file stays as it was. A symbolic link at `path` is followed: its target is replaced. False with
// `error` ("<file>": <reason>) when the file could not be written.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Writes the file through WriteFileAtomically and follows the outcome of every write.
class MetricsWriteState : private FailureStretch {
public:
    using FailureStretch::Change;
    using FailureStretch::Failing;
    using FailureStretch::Failures;
    using FailureStretch::LastError;

    Change Write(const QString& path, const QByteArray& bytes) {
        QString error;
        return WriteFileAtomically(path, bytes, &error) ? Succeeded() : Failed(error);
    }
};

} // namespace tevro
