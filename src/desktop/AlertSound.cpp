// QMediaPlayer rather than QSoundEffect: the desktop's own sounds are Ogg Vorbis, which QSoundEffect
// cannot play. Looping is done here at the end of each pass rather than by QMediaPlayer's own loops.
#include "desktop/AlertSound.h"

#include "common/Resources.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaDevices>

namespace tevro {

AlertSound::AlertSound(QObject* parent) : QObject(parent) {}

AlertSound::~AlertSound() {
    Stop();
}

bool AlertSound::HasSoundOutput() {
    // Without a sound server some backends accept the sound and then claim to play it forever; asking
    // for the outputs first keeps such a program silent instead of half-alive.
    return !QMediaDevices::audioOutputs().isEmpty();
}

QUrl AlertSound::BuiltInSound() {
    return QUrl(QStringLiteral("qrc") + ResourcePath(QStringLiteral("Alert_Sound")));
}

QUrl AlertSound::Source() const {
    return m_source;
}

bool AlertSound::Play(const QString& fileName, bool loop) {
    Stop();
    if (!HasSoundOutput())
        return false;
    m_loop = loop;
    if (IsSoundFile(fileName))
        Start(QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()));
    else
        Start(BuiltInSound());
    return true;
}

bool AlertSound::IsSoundFile(const QString& fileName) {
    return !fileName.trimmed().isEmpty() && QFileInfo(fileName).isFile();
}

void AlertSound::Stop() {
    m_source.clear();
    if (m_player != nullptr)
        m_player->stop();
}

void AlertSound::Start(const QUrl& source) {
    if (m_player == nullptr) {
        m_player = new QMediaPlayer(this);
        m_output = new QAudioOutput(m_player);
        m_player->setAudioOutput(m_output);
        connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &AlertSound::OnStatus);
        connect(m_player, &QMediaPlayer::errorOccurred, this, &AlertSound::OnError);
    }
    m_source = source;
    m_player->setSource(source);
    m_player->play();
}

void AlertSound::OnStatus(QMediaPlayer::MediaStatus status) {
    if (status != QMediaPlayer::EndOfMedia || m_source.isEmpty())
        return;
    // A file of no length plays nothing, once or for ever: the alert would be silent.
    if (m_player->duration() <= 0 && m_source != BuiltInSound()) {
        Start(BuiltInSound());
        return;
    }
    // The built-in sound is never of no length; were it so, it would come round again at once, for ever.
    if (m_loop && m_player->duration() > 0) {
        // Loaded afresh for every pass: rewinding the same pipeline (by seeking, or by stop and
        // play) goes silent after a few passes on the GStreamer backend while still claiming to play.
        const QUrl source = m_source;
        m_player->setSource(QUrl());
        Start(source);
    } else {
        m_source.clear();
    }
}

void AlertSound::OnError() {
    // One bad file may report more than one error; only the first counts, and only while it plays.
    if (m_source.isEmpty() || m_player->source() != m_source)
        return;
    if (m_source != BuiltInSound()) {
        Start(BuiltInSound());
        return;
    }
    Stop(); // the built-in sound itself failed: nothing is left to play
}

} // namespace tevro
