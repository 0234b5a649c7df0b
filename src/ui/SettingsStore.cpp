// Settings kept in an INI file through QSettings, with the value encoding of the program's own store.
#include "ui/SettingsStore.h"

#include <QMetaType>
#include <QVariant>
#include <utility>

namespace tevro {

SettingsStore::SettingsStore()
    // On Linux the native format is the INI file "Kaltmer/Tevro.conf" in the user's config folder; the
    // explicit INI format would name it "Tevro.ini".
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Kaltmer"), QStringLiteral("Tevro"))) {
    if (m_settings->status() != QSettings::NoError)
        Fail(QStringLiteral("The settings file \"%1\" cannot be read.").arg(FileName()));
}

SettingsStore::SettingsStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {
    if (m_settings->status() != QSettings::NoError)
        Fail(QStringLiteral("The settings file \"%1\" cannot be read.").arg(FileName()));
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::FileName() const {
    return m_settings->fileName();
}

bool SettingsStore::Fail(const QString& message) {
    if (m_error.isEmpty())
        m_error = message;
    return false;
}

bool SettingsStore::ReadRaw(const QString& name, QString& text, bool& found) {
    found = false;
    if (!Ok())
        return false;
    const QVariant value = m_settings->value(name);
    if (!value.isValid())
        return true;
    // The INI reader turns an unquoted "a, b" into a list and "@Rect(...)" and the like into other types:
    // none of them is a value this program wrote.
    if (value.typeId() != QMetaType::QString)
        return Fail(
            QStringLiteral("The setting \"%1\" in \"%2\" is not a plain text value.").arg(name, FileName()));
    text = value.toString();
    found = true;
    return true;
}

bool SettingsStore::ReadText(const QString& name, const QString& defaultValue, QString& value) {
    QString text;
    bool found = false;
    if (!ReadRaw(name, text, found))
        return false;
    value = found ? text : defaultValue;
    return true;
}

bool SettingsStore::ReadInteger(const QString& name, int defaultValue, int& value) {
    QString text;
    bool found = false;
    if (!ReadRaw(name, text, found))
        return false;
    value = found ? DecodeInteger(text, defaultValue) : defaultValue;
    return true;
}

bool SettingsStore::ReadFlag(const QString& name, bool defaultValue, bool& value) {
    // A flag is an integer whose default is 1 or 0; any number but 0 is true.
    int number = 0;
    if (!ReadInteger(name, defaultValue ? 1 : 0, number))
        return false;
    value = number != 0;
    return true;
}

int SettingsStore::DecodeInteger(const QString& text, int defaultValue) {
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    return ok ? number : defaultValue;
}

bool SettingsStore::DecodeFlag(const QString& text, bool defaultValue) {
    return DecodeInteger(text, defaultValue ? 1 : 0) != 0;
}

bool SettingsStore::WriteText(const QString& name, const QString& value) {
    if (!Ok())
        return false;
    m_settings->setValue(name, value);
    if (m_firstUnstored.isEmpty())
        m_firstUnstored = name;
    return true;
}

bool SettingsStore::Close() {
    if (!Ok())
        return false;
    m_settings->sync();
    const QString first = std::exchange(m_firstUnstored, QString());
    if (m_settings->status() != QSettings::NoError)
        return Fail(
            QStringLiteral("The setting \"%1\" could not be written to \"%2\".").arg(first, FileName()));
    return true;
}

bool SettingsStore::WriteInteger(const QString& name, int value) {
    return WriteText(name, EncodeInteger(value));
}

bool SettingsStore::WriteFlag(const QString& name, bool value) {
    return WriteText(name, EncodeFlag(value));
}

} // namespace tevro
