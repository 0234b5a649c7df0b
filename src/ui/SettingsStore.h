// The per-user settings store: named values under one key, every value kept as a string.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace tevro {

// One object per load or save. Reads give the caller's default for a missing value, or for an integer
// or flag whose text is not a decimal number. Writes are collected and stored together by Close(), so
// the file is replaced whole or not at all. A value that exists but is not a plain string, and a save
// that cannot be stored, are errors: the call returns false and ErrorText() names the value (for a
// save, the first value that was not stored). After the first error every further call fails too,
// so a load or save stops at that value.
class SettingsStore {
public:
    // The user's store: $XDG_CONFIG_HOME/Kaltmer/Tevro.conf.
    SettingsStore();
    // A store kept in the INI file `fileName`.
    explicit SettingsStore(const QString& fileName);
    ~SettingsStore();

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    bool ReadText(const QString& name, const QString& defaultValue, QString& value);
    bool ReadInteger(const QString& name, int defaultValue, int& value);
    bool ReadFlag(const QString& name, bool defaultValue, bool& value);

    bool WriteText(const QString& name, const QString& value);
    bool WriteInteger(const QString& name, int value);
    bool WriteFlag(const QString& name, bool value);
    // Stores the values written so far; false when they could not be stored.
    bool Close();

    bool Ok() const { return m_error.isEmpty(); }
    QString ErrorText() const { return m_error; }
    QString FileName() const;

    // The decoding rules, apart from any file.
    static int DecodeInteger(const QString& text, int defaultValue);
    static bool DecodeFlag(const QString& text, bool defaultValue);
    static QString EncodeInteger(int value) { return QString::number(value); }
    static QString EncodeFlag(bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); }

private:
    // Fetches the raw text of `name`: false on error, `found` false when the value is missing.
    bool ReadRaw(const QString& name, QString& text, bool& found);
    bool Fail(const QString& message);

    std::unique_ptr<QSettings> m_settings;
    QString m_error;
    QString m_firstUnstored; // the first value written since the last Close()
};

} // namespace tevro
