// A main window built for a test: settings and LOG in a temporary folder, a fixed clock, and message
// boxes recorded instead of shown.
#pragma once

#include "support/QtPrinters.h"
#include "support/TempSettings.h"
#include "ui/Tevro_u.h"

#include <QDir>
#include <QFile>
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

} // namespace tevro::test
