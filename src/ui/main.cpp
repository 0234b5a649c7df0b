// Program entry: one copy per program file, the windows in their order, and an end through the main
// window's own close path however the program is asked to stop.
#include "common/Product.h"
#include "desktop/ExitSignals.h"
#include "desktop/FMXUtils.h"
#include "desktop/SessionBus.h"
#include "desktop/SingleInstance.h"
#include "engine/HelperSocket.h"
#include "engine/Privileges.h"
#include "ui/CommandLine.h"
#include "ui/Graph_u.h"
#include "ui/MessageBox.h"
#include "ui/Tevro_u.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProxyStyle>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <unistd.h>

namespace {

const QString kAlreadyActive =
    QStringLiteral("** ERROR **\r\rProgram allready active: no multiple instances allowed!");

// Hints never carry a tooltip part, so no tooltip should wait to appear or linger.
class NoTooltipDelayStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay || hint == SH_ToolTip_FallAsleepDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A plain box titled with the program's name, before any window exists. The text also goes to the
// terminal, where a copy started from a script can be seen being refused.
void ShowPlainMessage(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(tevro::DialogText(text)));
    std::fflush(stderr);
    QMessageBox box(QMessageBox::NoIcon, QFileInfo(tevro::ProgramFileName()).completeBaseName(),
                    tevro::DialogText(text), QMessageBox::Ok);
    box.exec();
}

// A modal dialog runs an event loop of its own; it has to end before the window can close for good.
// What a message box said still reaches the terminal, so nothing is hidden by dismissing it.
void EndModalDialogs() {
    QWidget* previous = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (modal == previous || dialog == nullptr)
            break;
        if (auto* box = qobject_cast<QMessageBox*>(dialog))
            std::fprintf(stderr, "%s\n", qPrintable(box->text()));
        dialog->reject();
        previous = modal;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // Before any library or plugin is loaded: plugins are chosen by the user's environment, so a
    // capability given to this file would be theirs too. Without root, the ping helper pings.
    if (::geteuid() != 0 && tevro::HoldsCapabilities()) {
        if (!tevro::DropCapabilities()) {
            std::fprintf(stderr, "tevro: cannot give up the capabilities of its program file\n");
            return 1;
        }
        std::fprintf(stderr,
                     "tevro: gave up the capabilities of its program file; the ping helper %s pings\n",
                     tevro::PingHelperPath().c_str());
    }
    // Before the QApplication: Qt reads what this sets as its first window is made.
    const QString withoutSessionBus = tevro::StartWithoutSilentSessionBus();
    if (!withoutSessionBus.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(withoutSessionBus));
        std::fflush(stderr);
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(tevro::kDesktopId));
    QApplication::setApplicationName(QString::fromLatin1(tevro::kProductName));
    QApplication::setOrganizationName(QStringLiteral("Kaltmer"));
    QApplication::setApplicationVersion(QString::fromLatin1(tevro::kVersionText));
    // No application display name: the window manager would add it to every caption, and the caption,
    // the tray tip and the graph's caption must read the same.
    QApplication::setQuitOnLastWindowClosed(false); // the main window alone decides the end
    for (const QString& line : tevro::ArgumentWarnings(QCoreApplication::arguments()))
        std::fprintf(stderr, "%s\n", qPrintable(line));

    // Installed before anything can wait for the user, so that a logout or `kill` also ends a copy
    // that sits at a message box.
    tevro::ExitSignals exitSignals;
    TF_Tevro* mainWindow = nullptr;
    bool exitRequested = false;
    // A box that opens on the way out (a save that failed) must not hold the end up either.
    QTimer dismissWhileEnding;
    dismissWhileEnding.setInterval(100);
    QObject::connect(&dismissWhileEnding, &QTimer::timeout, &app, EndModalDialogs);
    QObject::connect(&exitSignals, &tevro::ExitSignals::ExitRequested, &app, [&](int) {
        exitRequested = true;
        if (mainWindow != nullptr)
            mainWindow->BeginEnding(); // before the dialogs go: none of them may ask on its way out
        dismissWhileEnding.start();
        EndModalDialogs();
        if (mainWindow != nullptr)
            mainWindow->close(); // as the close button does
    });

    tevro::SingleInstanceLock lock(tevro::ProgramFileName());
    QString lockError;
    switch (lock.TryAcquire(&lockError)) {
    case tevro::SingleInstanceLock::Result::Acquired:
        break;
    case tevro::SingleInstanceLock::Result::HeldByAnotherCopy:
        ShowPlainMessage(kAlreadyActive);
        return 0;
    case tevro::SingleInstanceLock::Result::Failed:
        ShowPlainMessage(QStringLiteral("** ERROR **\r\r") + lockError);
        return 0;
    }

    try {
        QApplication::setStyle(new NoTooltipDelayStyle);
        // Created first, so it is the main window; its destructor writes the LOG's closing lines
        // and saves the settings.
        TevroEnvironment environment;
        environment.withoutSessionBus = withoutSessionBus;
        TF_Tevro window(std::move(environment));
        mainWindow = &window;
        if (exitRequested)
            return 0; // asked to stop while it was being created
        // Destroyed before the main window, saving its scale first.
        TF_Graph graph(window);

        // Closing the main window ends the program even while other windows are open.
        struct CloseWatcher final : QObject {
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (event->type() == QEvent::Close)
                    QTimer::singleShot(0, this, [watched] {
                        if (!static_cast<QWidget*>(watched)->isVisible())
                            QCoreApplication::quit();
                    });
                return false;
            }
        } closeWatcher;
        window.installEventFilter(&closeWatcher);

        window.show();
        const int code = QApplication::exec();
        mainWindow = nullptr;
        return code;
    } catch (const std::exception& e) {
        mainWindow = nullptr;
        ShowPlainMessage(QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
