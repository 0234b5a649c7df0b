// The server is started as the machine's notes describe: no configuration of its own, a null sink, and
// an anonymous socket; the recorder asks for a small latency, without which parec delivers nothing
// until it is stopped.
#include "support/SoundLab.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/prctl.h>

namespace tevro::test {
namespace {

constexpr double kLoudRms = 300.0;
constexpr int kSamplesPerWindow = SoundRecorder::kRate * SoundRecorder::kWindowMs / 1000;

// Helpers die with the test, however it ends.
void DieWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// Runs the event loop until `done` holds or `timeoutMs` passes, woken by `signalSource`'s signal.
template <typename Object, typename Signal, typename Done>
bool WaitOn(Object* signalSource, Signal signal, Done done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(signalSource, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    loop.exec();
    return done();
}

} // namespace

std::unique_ptr<SoundLab> SoundLab::Start(QString* why) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (daemon.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
        *why = QStringLiteral("pulseaudio and parec (packages pulseaudio, pulseaudio-utils) are not installed");
        return nullptr;
    }
    std::unique_ptr<SoundLab> lab(new SoundLab);
    if (!lab->m_dir.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return nullptr;
    }
    const QString runtime = lab->m_dir.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("HOME"), lab->m_dir.path());
    env.remove(QStringLiteral("PULSE_SERVER"));
    lab->m_server.setProcessEnvironment(env);
    lab->m_server.setProcessChannelMode(QProcess::MergedChannels);
    DieWithParent(lab->m_server);
    const QString socket = lab->m_dir.filePath(QStringLiteral("sock"));
    lab->m_server.start(daemon, {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                                 QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                                 QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=tevro_null"),
                                 QStringLiteral("-L"),
                                 QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket});
    if (!lab->m_server.waitForStarted()) {
        *why = QStringLiteral("pulseaudio did not start");
        return nullptr;
    }
    // The socket appears once the server listens on it.
    QFileSystemWatcher watcher({lab->m_dir.path()});
    const bool listening =
        WaitOn(&watcher, &QFileSystemWatcher::directoryChanged, [&] { return QFile::exists(socket); }, 20000);
    if (!listening || lab->m_server.state() != QProcess::Running) {
        lab->m_server.waitForFinished(100);
        *why = QStringLiteral("pulseaudio could not run here: ") +
               QString::fromLocal8Bit(lab->m_server.readAll()).trimmed();
        return nullptr;
    }
    qputenv("PULSE_SERVER", lab->ServerAddress().toLocal8Bit());
    return lab;
}

SoundLab::~SoundLab() {
    m_server.terminate();
    if (!m_server.waitForFinished(5000))
        m_server.kill();
}

QString SoundLab::ServerAddress() const {
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("sock"));
}

SoundRecorder::~SoundRecorder() {
    m_parec.kill();
    m_parec.waitForFinished(5000);
}

bool SoundRecorder::Start(QString* why) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), m_lab.ServerAddress());
    m_parec.setProcessEnvironment(env);
    DieWithParent(m_parec);
    QObject::connect(&m_parec, &QProcess::readyReadStandardOutput, [this] { Read(); });
    m_clock.start();
    m_parec.start(QStringLiteral("parec"),
                  {QStringLiteral("--latency-msec=20"), QStringLiteral("-d"), m_lab.MonitorSource(),
                   QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                   QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1")});
    const bool started = m_parec.waitForStarted() &&
                         WaitOn(&m_parec, &QProcess::readyReadStandardOutput,
                                [this] { return !m_samples.isEmpty(); }, 20000);
    if (!started)
        *why = QStringLiteral("parec recorded nothing: ") + QString::fromLocal8Bit(m_parec.readAllStandardError());
    return started;
}

void SoundRecorder::Read() {
    m_partial += m_parec.readAllStandardOutput();
    const qsizetype count = m_partial.size() / 2;
    const auto* bytes = reinterpret_cast<const uchar*>(m_partial.constData());
    for (qsizetype i = 0; i < count; ++i)
        m_samples.append(static_cast<qint16>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    m_partial.remove(0, count * 2);
    // The newest sample was played no later than now: the stream runs at the rate, so that bounds the
    // first one too.
    const double first = static_cast<double>(Now()) - 1000.0 * static_cast<double>(m_samples.size()) / kRate;
    m_startMs = std::min(m_startMs, first);
}

qint64 SoundRecorder::SampleTime(qint64 index) const {
    return static_cast<qint64>(m_startMs + 1000.0 * static_cast<double>(index) / kRate);
}

void SoundRecorder::Record(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::processEvents(); // what arrived meanwhile
}

bool SoundRecorder::Loud(qint64 window) const {
    double sum = 0;
    const qint64 first = window * kSamplesPerWindow;
    for (qint64 i = first; i < first + kSamplesPerWindow; ++i) {
        const double v = m_samples.at(i);
        sum += v * v;
    }
    return std::sqrt(sum / kSamplesPerWindow) > kLoudRms;
}

QVector<Burst> SoundRecorder::Bursts(qint64 from, qint64 to) const {
    QVector<Burst> bursts;
    const qint64 windows = m_samples.size() / kSamplesPerWindow;
    for (qint64 w = 0; w < windows; ++w) {
        const qint64 start = SampleTime(w * kSamplesPerWindow);
        const qint64 end = SampleTime((w + 1) * kSamplesPerWindow);
        if (end <= from || start >= to || !Loud(w))
            continue;
        if (!bursts.isEmpty() && start - bursts.last().end < 100)
            bursts.last().end = end;
        else
            bursts.append({start, end});
    }
    return bursts;
}

bool SoundRecorder::WaitForBursts(qint64 from, int count, int timeoutMs) {
    return WaitOn(&m_parec, &QProcess::readyReadStandardOutput,
                  [&] { return Bursts(from, Now() + 1000).size() >= count; }, timeoutMs);
}

double SoundRecorder::CrossingsPerSecond(qint64 from, qint64 to) const {
    qint64 crossings = 0;
    qint64 loudWindows = 0;
    const qint64 windows = m_samples.size() / kSamplesPerWindow;
    for (qint64 w = 0; w < windows; ++w) {
        if (SampleTime(w * kSamplesPerWindow) < from || SampleTime((w + 1) * kSamplesPerWindow) > to || !Loud(w))
            continue;
        ++loudWindows;
        for (qint64 i = w * kSamplesPerWindow + 1; i < (w + 1) * kSamplesPerWindow; ++i)
            crossings += (m_samples.at(i - 1) < 0) != (m_samples.at(i) < 0) ? 1 : 0;
    }
    return loudWindows == 0 ? 0.0 : crossings * 1000.0 / static_cast<double>(loudWindows * kWindowMs);
}

std::string Describe(const QVector<Burst>& bursts) {
    std::string text;
    for (const Burst& burst : bursts)
        text += std::to_string(burst.start) + '-' + std::to_string(burst.end) + ' ';
    return text;
}

bool WriteToneWav(const QString& path, int hz, int toneMs, int silenceMs) {
    constexpr int rate = 22050;
    const int toneSamples = rate * toneMs / 1000;
    const int total = toneSamples + rate * silenceMs / 1000;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 dataBytes = static_cast<quint32>(total) * 2;
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << dataBytes;
    for (int i = 0; i < total; ++i) {
        const double v = i < toneSamples ? 0.5 * std::sin(2.0 * M_PI * hz * i / rate) : 0.0;
        out << static_cast<qint16>(std::lround(v * 32767.0));
    }
    return out.status() == QDataStream::Ok;
}

} // namespace tevro::test
