// A main window built for a test: settings and LOG in a temporary folder, a fixed clock, and message
// boxes recorded instead of shown.
#pragma once

#include "support/QtPrinters.h"
#include "support/TempSettings.h"
#include "ui/Tevro_u.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace tevro::test {

struct RecordedBox {
    QString text;
    MessageKind kind;
    bool centred;
};

class WindowFixture : public ::testing::Test {
protected:
    std::unique_ptr<TF_Tevro> MakeWindow(const QStringList& arguments = {QStringLiteral("tevro")}) {
        TevroEnvironment env;
        env.logFileName = settings.Folder() + QStringLiteral("/tevro.log");
        env.arguments = arguments;
        env.clock = [this] { return now; };
        env.messageBox = [this](const QString& text, MessageKind kind, QMessageBox::StandardButtons,
                                bool centred) {
            boxes.push_back({text, kind, centred});
            return answer;
        };
        env.openDocument = openDocument;
        env.openUrl = openUrl;
        return std::make_unique<TF_Tevro>(std::move(env));
    }

    // Replaces the settings file with `lines` (INI text, no section header needed).
    void WriteSettings(const QByteArray& lines) {
        QDir().mkpath(settings.Folder() + QStringLiteral("/Kaltmer"));
        QFile file(settings.FileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\n" + lines);
    }

    TempSettings settings;
    std::vector<RecordedBox> boxes;
    std::function<int(const QString& file)> openDocument; // empty: the desktop's handler
    QMessageBox::StandardButton answer = QMessageBox::Ok; // what every box is answered with
    std::function<bool(const QString& address)> openUrl; // empty: the desktop's handlers
    QDateTime now{QDate(2026, 12, 7), QTime(0, 15, 2)}; // the windows' clock; a test may move it
};

// Sets an environment variable for the life of a test; unset when `value` is null.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

// An xdg-open of the test's own, first on the PATH: it notes each argument it is given in a file and
// ends with `status`.
class FakeXdgOpen {
public:
    explicit FakeXdgOpen(int status)
        : m_path(
              "PATH",
              (m_bin.path() + QStringLiteral(":") + QString::fromLocal8Bit(qgetenv("PATH"))).toLocal8Bit()) {
        QFile script(m_bin.filePath(QStringLiteral("xdg-open")));
        if (script.open(QIODevice::WriteOnly))
            script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + QFile::encodeName(Record()) + "'\nexit " +
                         QByteArray::number(status) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QStringList Opened() const {
        QFile record(Record());
        return record.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(record.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                   : QStringList();
    }

private:
    QString Record() const { return m_bin.filePath(QStringLiteral("opened")); }

    QTemporaryDir m_bin;
    ScopedEnv m_path;
};

} // namespace tevro::test
