// Points the per-user settings store at a temporary folder for the life of a test, so that no test ever
// reads or writes the real user's settings.
#pragma once

#include <QSettings>
#include <QTemporaryDir>

namespace tevro::test {

class TempSettings {
public:
    TempSettings() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path()); }

    QString Folder() const { return m_dir.path(); }
    // The file the store keeps the settings in.
    QString FileName() const { return m_dir.path() + QStringLiteral("/Kaltmer/Tevro.conf"); }

private:
    QTemporaryDir m_dir;
};

} // namespace tevro::test
