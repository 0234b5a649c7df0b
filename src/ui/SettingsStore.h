// The per-user settings store: named values under one key, every value kept as a string.
#pragma once

#include <QList>
#include <QPair>
#include <QSettings>
#include <QString>
#include <memory>

namespace tevro {

// One object per load or save. Reads always give a value: the stored one, or the caller's default when
// the value is missing or cannot be used (not a plain string, or an integer or flag whose text is not a
// decimal number). Every value replaced that way is remembered, so that a load can name them all
// instead of stopping at the first. A file that held such values is copied to "<file>.bak" before the
// first save of this process rewrites it, so that a hand edit is never lost. Writes are collected and
// stored together by Close(), so the file is replaced whole or not at all; a save that cannot be stored
// is an error that names the value (the first one not stored), and every later write fails too.
class SettingsStore {
public:
    // A value that could not be used and the default that took its place.
    struct Replacement {
        QString name;
        QString found; // as the file holds it
        QString used;  // the default, in the file's encoding
    };

    // The user's store: $XDG_CONFIG_HOME/Kaltmer/Tevro.conf.
    SettingsStore();
    // A store kept in the INI file `fileName`.
    explicit SettingsStore(const QString& fileName);
    ~SettingsStore();

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Each returns true: a value that cannot be used gives the default and is listed in Replacements().
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
    static QString BackupFileName(const QString& fileName) { return fileName + QStringLiteral(".bak"); }

    const QList<Replacement>& Replacements() const { return m_replacements; }
    // Empty when the file could be read and every value read so far was usable; otherwise a message
    // box text (lines ended by CR) naming the file, each value replaced, what it held and what is used.
    QString LoadReport() const;

    // The decoding rules, apart from any file.
    static int DecodeInteger(const QString& text, int defaultValue);
    static bool DecodeFlag(const QString& text, bool defaultValue);
    static QString EncodeInteger(int value) { return QString::number(value); }
    static QString EncodeFlag(bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); }

private:
    // The raw text of `name`; false when it is missing or not a plain string (then listed as replaced).
    bool ReadRaw(const QString& name, const QString& usedInstead, QString& text);
    void Replace(const QString& name, const QString& found, const QString& used);
    bool Fail(const QString& message);

    std::unique_ptr<QSettings> m_settings;
    QString m_error;
    QString m_unreadable; // why the file could not be read; empty when it could
    QList<Replacement> m_replacements;
    QList<QPair<QString, QString>> m_pending; // written since the last Close()
};

} // namespace tevro
