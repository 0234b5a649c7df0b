// Settings kept in an INI file through QSettings, with the value encoding of the program's own store.
#include "ui/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaType>
#include <QSet>
#include <QStringList>
#include <QVariant>
#include <utility>

namespace tevro {
namespace {

// Files whose values were replaced on reading and that have not been copied aside yet. GUI thread only,
// like every store.
QSet<QString>& FilesToBackUp() {
    static QSet<QString> files;
    return files;
}

// How a value the INI reader turned into something else looked, near enough for the user to find it.
QString ShownAsText(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    if (value.canConvert<QString>() && !value.toString().isEmpty())
        return value.toString();
    return QStringLiteral("@") + QString::fromLatin1(value.typeName());
}

// Copies the file as it is now to its backup, replacing an older backup; true when there is nothing
// to copy.
bool BackUp(const QString& fileName, QString& error) {
    if (!QFileInfo::exists(fileName))
        return true;
    const QString backup = SettingsStore::BackupFileName(fileName);
    QFile::remove(backup);
    QFile source(fileName);
    if (source.copy(backup))
        return true;
    error = source.errorString();
    return false;
}

} // namespace

SettingsStore::SettingsStore()
    // On Linux the native format is the INI file "Kaltmer/Tevro.conf" in the user's config folder; the
    // explicit INI format would name it "Tevro.ini".
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Kaltmer"), QStringLiteral("Tevro"))) {
    if (m_settings->status() != QSettings::NoError)
        m_unreadable = QStringLiteral("The settings file \"%1\" cannot be read.").arg(FileName());
}

SettingsStore::SettingsStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {
    if (m_settings->status() != QSettings::NoError)
        m_unreadable = QStringLiteral("The settings file \"%1\" cannot be read.").arg(FileName());
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

void SettingsStore::Replace(const QString& name, const QString& found, const QString& used) {
    m_replacements.append({name, found, used});
    FilesToBackUp().insert(FileName());
}

bool SettingsStore::ReadRaw(const QString& name, const QString& usedInstead, QString& text) {
    if (!m_unreadable.isEmpty()) {
        // Whatever the file holds must survive the next save, though nothing of it could be read.
        FilesToBackUp().insert(FileName());
        return false;
    }
    const QVariant value = m_settings->value(name);
    if (!value.isValid())
        return false;
    // The INI reader turns an unquoted "a, b" into a list and "@Rect(...)" and the like into other types:
    // none of them is a value this program wrote.
    if (value.typeId() != QMetaType::QString) {
        Replace(name, ShownAsText(value), usedInstead);
        return false;
    }
    text = value.toString();
    return true;
}

bool SettingsStore::ReadText(const QString& name, const QString& defaultValue, QString& value) {
    QString text;
    value = ReadRaw(name, defaultValue, text) ? text : defaultValue;
    return true;
}

bool SettingsStore::ReadInteger(const QString& name, int defaultValue, int& value) {
    const QString used = EncodeInteger(defaultValue);
    QString text;
    value = defaultValue;
    // An empty value counts as missing: nothing was typed that could be lost.
    if (!ReadRaw(name, used, text) || text.isEmpty())
        return true;
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    if (ok)
        value = number;
    else
        Replace(name, text, used);
    return true;
}

bool SettingsStore::ReadFlag(const QString& name, bool defaultValue, bool& value) {
    // A flag is an integer whose default is 1 or 0; any number but 0 is true.
    int number = 0;
    ReadInteger(name, defaultValue ? 1 : 0, number);
    value = number != 0;
    return true;
}

QString SettingsStore::LoadReport() const {
    if (m_unreadable.isEmpty() && m_replacements.isEmpty())
        return {};
    QString report;
    if (!m_unreadable.isEmpty()) {
        report = m_unreadable + QStringLiteral(" Every setting takes its default.");
    } else {
        report = QStringLiteral("These settings in \"%1\" could not be used and take their defaults:")
                     .arg(FileName());
        for (const Replacement& r : m_replacements)
            report += QStringLiteral("\r%1: found \"%2\", using \"%3\"").arg(r.name, r.found, r.used);
    }
    return report + QStringLiteral("\r\rThe file as it is now is kept as \"%1\" before it is next saved.")
                        .arg(BackupFileName(FileName()));
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
    m_pending.append({name, value});
    return true;
}

bool SettingsStore::Close() {
    if (!Ok())
        return false;
    if (m_pending.isEmpty())
        return true;
    const QString first = m_pending.constFirst().first;
    const QString file = FileName();
    if (FilesToBackUp().contains(file)) {
        QString why;
        if (!BackUp(file, why))
            return Fail(QStringLiteral("The settings were not saved: \"%1\" holds values that could not be "
                                       "read, and it could not be copied to \"%2\" (%3).")
                            .arg(file, BackupFileName(file), why));
        FilesToBackUp().remove(file);
    }
    for (const auto& [name, value] : std::as_const(m_pending))
        m_settings->setValue(name, value);
    m_pending.clear();
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        return Fail(QStringLiteral("The setting \"%1\" could not be written to \"%2\".").arg(first, file));
    return true;
}

bool SettingsStore::WriteInteger(const QString& name, int value) {
    return WriteText(name, EncodeInteger(value));
}

bool SettingsStore::WriteFlag(const QString& name, bool value) {
    return WriteText(name, EncodeFlag(value));
}

} // namespace tevro
