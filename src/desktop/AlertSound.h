// The alert's sound: one file played in the background, once or over and over, with the built-in
// sound standing in for a file that cannot be played.
#pragma once

#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QUrl>

class QAudioOutput;

namespace tevro {

class AlertSound : public QObject {
    Q_OBJECT

public:
    explicit AlertSound(QObject* parent = nullptr);
    ~AlertSound() override; // silent from here on

    // Starts `fileName` (absolute, or relative to the working folder) and returns at once; with `loop`
    // it repeats until Stop(). A name that is no sound file, a file that turns out not to be playable or
    // one of no length gives the built-in sound instead. False when there is no sound output: then
    // nothing plays.
    bool Play(const QString& fileName, bool loop);
    void Stop();

    // Whether `fileName` names a file that can stand as the sound: a regular file, not a folder or a
    // blank name.
    static bool IsSoundFile(const QString& fileName);

    // What is being played (a file URL or the built-in sound's); empty while silent.
    QUrl Source() const;
    static QUrl BuiltInSound();
    // Whether the desktop offers a sound output at all.
    static bool HasSoundOutput();

private:
    void Start(const QUrl& source);
    void OnStatus(QMediaPlayer::MediaStatus status);
    void OnError();

    QMediaPlayer* m_player = nullptr; // made by the first Play, so silent programs never load a backend
    QAudioOutput* m_output = nullptr;
    QUrl m_source;
    bool m_loop = false;
};

} // namespace tevro
