// Writes the settings a few seconds after the user changes one, so that a crash, a power cut or a kill
// loses at most those seconds. The write when the program ends stays; this one comes in addition.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace tevro {

class SettingsAutosave final : public QObject {
    Q_OBJECT

public:
    static constexpr int kDelayMs = 3000;

    explicit SettingsAutosave(QObject* parent = nullptr, int delayMs = kDelayMs);

    // A setting has changed: the settings are written within the delay, counted from the first change
    // not written yet, so that a stream of changes (a held spin button) cannot put the write off.
    void Changed();
    // Every emission of `signal` is a change.
    template <typename Sender, typename Signal> void Watch(const Sender* sender, Signal signal) {
        connect(sender, signal, this, &SettingsAutosave::Changed);
    }
    bool Pending() const { return m_timer.isActive(); }
    // A whole write is under way elsewhere (the one at the end): the pending one is not needed.
    void Cancel() { m_timer.stop(); }
    // Writes now: Save asks every window for its values; a window whose values could not be stored
    // calls Fail with why.
    void SaveNow();
    void Fail(const QString& error);

Q_SIGNALS:
    void Save();
    // The first failure after the settings could be written (or since the start); the next write that
    // works makes way for another report.
    void Failed(const QString& error);

private:
    QTimer m_timer;
    bool m_failing = false;      // the last write failed, and that was told
    bool m_failedInWrite = false; // a window failed in the write under way
};

} // namespace tevro
