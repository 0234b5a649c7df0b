// The server runs with no configuration of its own, a null sink and an anonymous socket; the recorder
// asks for a small latency, without which parec delivers nothing until it is stopped.
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

constexpr int kRate = 8000;
constexpr int kWindow = kRate / 50; // 20 ms

// Runs the event loop until `done` holds or `timeoutMs` passes, checking whenever `source` signals.
template <typename Object, typename Signal, typename Done>
bool WaitOn(Object* source, Signal signal, Done done, int timeoutMs) {
    QEventLoop loop;
    QObject::connect(source, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

void DieWithTest(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

std::unique_ptr<SoundLab> SoundLab::Start(QString* why) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (daemon.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
        *why = QStringLiteral("pulseaudio and parec (packages pulseaudio, pulseaudio-utils) are missing");
        return nullptr;
    }
    std::unique_ptr<SoundLab> lab(new SoundLab);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), lab->m_dir.path());
    env.insert(QStringLiteral("HOME"), lab->m_dir.path());
    lab->m_server.setProcessEnvironment(env);
    lab->m_server.setProcessChannelMode(QProcess::MergedChannels);
    DieWithTest(lab->m_server);
    const QString socket = lab->m_dir.filePath(QStringLiteral("sock"));
    lab->m_server.start(daemon,
                        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                         QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=tevro_null"),
                         QStringLiteral("-L"),
                         QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket});
    // The socket appears once the server listens on it.
    QFileSystemWatcher watcher({lab->m_dir.path()});
    if (!WaitOn(
            &watcher, &QFileSystemWatcher::directoryChanged, [&] { return QFile::exists(socket); }, 20000)) {
        lab->m_server.kill();
        lab->m_server.waitForFinished();
        *why = QStringLiteral("pulseaudio could not run here: ") +
               QString::fromLocal8Bit(lab->m_server.readAll());
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
    m_parec.waitForFinished();
}

bool SoundRecorder::Start(QString* why) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), m_lab.ServerAddress());
    m_parec.setProcessEnvironment(env);
    DieWithTest(m_parec);
    QObject::connect(&m_parec, &QProcess::readyReadStandardOutput, &m_parec, [this] {
        m_partial += m_parec.readAllStandardOutput();
        const auto* bytes = reinterpret_cast<const uchar*>(m_partial.constData());
        const qsizetype count = m_partial.size() / 2;
        for (qsizetype i = 0; i < count; ++i)
            m_samples.append(static_cast<qint16>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
        m_partial.remove(0, count * 2);
        // The stream runs at its rate, so the newest sample's arrival bounds when the first was played.
        m_startMs = std::min(m_startMs, static_cast<double>(Now()) - 1000.0 * m_samples.size() / kRate);
    });
    m_clock.start();
    m_parec.start(QStringLiteral("parec"), {QStringLiteral("--latency-msec=20"), QStringLiteral("-d"),
                                            QStringLiteral("tevro_null.monitor"), QStringLiteral("--raw"),
                                            QStringLiteral("--format=s16le"), QStringLiteral("--rate=8000"),
                                            QStringLiteral("--channels=1")});
    if (WaitOn(
            &m_parec, &QProcess::readyReadStandardOutput, [this] { return !m_samples.isEmpty(); }, 20000))
        return true;
    *why =
        QStringLiteral("parec recorded nothing: ") + QString::fromLocal8Bit(m_parec.readAllStandardError());
    return false;
}

void SoundRecorder::Record(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::processEvents();
}

bool SoundRecorder::WaitForBursts(qint64 from, int count, int timeoutMs) {
    return WaitOn(
        &m_parec, &QProcess::readyReadStandardOutput,
        [&] { return Bursts(from, Now() + 1000).size() >= count; }, timeoutMs);
}

QVector<Burst> SoundRecorder::Bursts(qint64 from, qint64 to) const {
    QVector<Burst> bursts;
    for (qsizetype w = 0; (w + 1) * kWindow <= m_samples.size(); ++w) {
        const auto start = static_cast<qint64>(m_startMs + 1000.0 * static_cast<double>(w * kWindow) / kRate);
        const qint64 end = start + 20;
        double sum = 0;
        for (qsizetype i = w * kWindow; i < (w + 1) * kWindow; ++i)
            sum += double(m_samples.at(i)) * m_samples.at(i);
        if (end <= from || start >= to || std::sqrt(sum / kWindow) < 300.0)
            continue;
        if (!bursts.isEmpty() && start - bursts.last().end < 100)
            bursts.last().end = end;
        else
            bursts.append({start, end});
    }
    return bursts;
}

std::string Describe(const QVector<Burst>& bursts) {
    std::string text;
    for (const Burst& burst : bursts)
        text += std::to_string(burst.start) + '-' + std::to_string(burst.end) + ' ';
    return text;
}

bool WriteToneWav(const QString& path, int toneMs, int silenceMs) {
    constexpr int rate = 22050;
    const int tone = rate * toneMs / 1000;
    const int total = tone + rate * silenceMs / 1000;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const auto bytes = static_cast<quint32>(total * 2);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + bytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << bytes;
    for (int i = 0; i < total; ++i)
        out << static_cast<qint16>(i < tone ? std::lround(16000.0 * std::sin(2.0 * M_PI * 300.0 * i / rate))
                                            : 0);
    return out.status() == QDataStream::Ok;
}

} // namespace tevro::test
