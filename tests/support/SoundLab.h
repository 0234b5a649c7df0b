// A PulseAudio server of the test's own with one null sink, and a recorder of what that sink plays, so
// that a test hears the program's sound instead of trusting a player's state.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVector>
#include <memory>
#include <string>

namespace tevro::test {

class SoundLab {
public:
    // Starts the server in a folder of its own and points this process's sound clients at it; must run
    // before anything in the process opens a sound device. Null, with the reason, when it cannot run.
    static std::unique_ptr<SoundLab> Start(QString* why);
    ~SoundLab();

    // For PULSE_SERVER, in this process and in programs it starts.
    QString ServerAddress() const;
    QString MonitorSource() const { return QStringLiteral("tevro_null.monitor"); }

private:
    SoundLab() = default;
    QTemporaryDir m_dir;
    QProcess m_server;
};

// A loud stretch of the recording, in milliseconds on the recorder's clock.
struct Burst {
    qint64 start = 0;
    qint64 end = 0;
    qint64 Length() const { return end - start; }
};

class SoundRecorder {
public:
    // Rate of the recording: plenty for telling a 300 Hz tone from a 1 kHz chime.
    static constexpr int kRate = 8000;
    static constexpr int kWindowMs = 20;

    explicit SoundRecorder(const SoundLab& lab) : m_lab(lab) {}
    ~SoundRecorder();

    // Starts recording and returns once the first samples have come in.
    bool Start(QString* why);
    // Milliseconds on the clock that sample times are given in.
    qint64 Now() const { return m_clock.elapsed(); }

    // Keeps recording for `ms`.
    void Record(int ms);
    // Records until `count` bursts have begun after `from`, at most `timeoutMs`; false on time-out.
    bool WaitForBursts(qint64 from, int count, int timeoutMs);

    // Bursts between the two moments: loud 20 ms windows, with gaps below 100 ms bridged.
    QVector<Burst> Bursts(qint64 from, qint64 to) const;
    // Zero crossings per second over the loud windows between the two moments; 0 without any.
    double CrossingsPerSecond(qint64 from, qint64 to) const;

private:
    void Read();
    // When the sample with this index was played, on Now()'s clock.
    qint64 SampleTime(qint64 index) const;
    bool Loud(qint64 window) const;

    const SoundLab& m_lab;
    QProcess m_parec;
    QElapsedTimer m_clock;
    QVector<qint16> m_samples;
    QByteArray m_partial;
    // Now() of sample 0, taken as early as any chunk's arrival allows: chunks arrive late, never early.
    double m_startMs = 1e18;
};

// "start-end start-end ..." for a failure message.
std::string Describe(const QVector<Burst>& bursts);

// A mono 16-bit WAV: a sine of `hz` for `toneMs`, then `silenceMs` of silence.
bool WriteToneWav(const QString& path, int hz, int toneMs, int silenceMs);

} // namespace tevro::test
