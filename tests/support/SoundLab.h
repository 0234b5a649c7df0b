// A PulseAudio server of the test's own with one null sink, and a recorder of what that sink plays, so
// that a test hears the program's sound instead of trusting a player's state.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVector>
#include <memory>

namespace tevro::test {

class SoundLab {
public:
    // Starts the server and points this process's sound clients at it; must run before anything in the
    // process opens a sound device. Null, with the reason, when it cannot run here.
    static std::unique_ptr<SoundLab> Start(QString* why);
    ~SoundLab();

    QString ServerAddress() const; // for PULSE_SERVER

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
    explicit SoundRecorder(const SoundLab& lab) : m_lab(lab) {}
    ~SoundRecorder();

    // Starts recording; true once the first samples have come in.
    bool Start(QString* why);
    qint64 Now() const { return m_clock.elapsed(); }
    void Record(int ms);
    // Records until `count` bursts have begun after `from`; false after `timeoutMs`.
    bool WaitForBursts(qint64 from, int count, int timeoutMs);
    // Loud 20 ms windows between the two moments, gaps below 100 ms bridged.
    QVector<Burst> Bursts(qint64 from, qint64 to) const;

private:
    const SoundLab& m_lab;
    QProcess m_parec;
    QElapsedTimer m_clock;
    QVector<qint16> m_samples;
    QByteArray m_partial;
    // Now() of sample 0, as early as any chunk's arrival allows: chunks come late, never early.
    double m_startMs = 1e18;
};

// "start-end ..." for a failure message.
std::string Describe(const QVector<Burst>& bursts);

// A mono 16-bit WAV: a 300 Hz sine for `toneMs`, then `silenceMs` of silence.
bool WriteToneWav(const QString& path, int toneMs, int silenceMs);

} // namespace tevro::test
