#include "ui/SettingsAutosave.h"

namespace tevro {

SettingsAutosave::SettingsAutosave(QObject* parent, int delayMs) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMs);
    connect(&m_timer, &QTimer::timeout, this, &SettingsAutosave::SaveNow);
}

void SettingsAutosave::Changed() {
    if (!m_timer.isActive())
        m_timer.start();
}

void SettingsAutosave::SaveNow() {
    m_timer.stop();
    m_failedInWrite = false;
    Q_EMIT Save();
    if (!m_failedInWrite)
        m_failing = false;
}

void SettingsAutosave::Fail(const QString& error) {
    m_failedInWrite = true;
    if (m_failing)
        return;
    m_failing = true;
    Q_EMIT Failed(error);
}

} // namespace tevro
