// The main window's creation, first showing and destruction, in the order later steps rely on.
#include "common/Product.h"
#include "engine/PingRun.h"
#include "monitor/LogEntry.h"
#include "richview/RichView.h"
#include "ui/CommandLine.h"
#include "ui/Gauge.h"
#include "ui/Hints.h"
#include "ui/Tevro_u.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <cstdio>

QStringList TF_Tevro::HelpPageHeadLines() {
    return {
        QStringLiteral("<p>"),
        QStringLiteral("<p>###"),
        QStringLiteral("<p>###"),
        QStringLiteral("<p>"),
        QStringLiteral(
            "<p halign=\"center\" valign=\"middle\"><f style=\"bold\">:::::<f><f pic=\"Help_Icon\"><f>"
            "<f style=\"bold\">:::::<f>"),
        QStringLiteral("<p>"),
        QStringLiteral("<p halign=\"center\">") + tevro::ProductTitle(),
        QStringLiteral("<p halign=\"center\">") + tevro::NoticeHolder(),
        QStringLiteral("<p>"),
    };
}

QString TF_Tevro::CopyrightLabelText() {
    return tevro::ProductTitle() + QLatin1Char('\n') + tevro::NoticeHolder() + QStringLiteral(",\n") +
           tevro::NoticeClosing() + QLatin1Char('.');
}

void TF_Tevro::FormCreate() {
    // Bottom-left corner of the screen with a 4-pixel margin, frame included.
    tevro::PlaceAtBottomLeft(this);
    Notebook1->setCurrentIndex(0);

    // The LOG file is named and rotated before anything is written to it.
    LogFileName = m_env.logFileName.isEmpty() ? DefaultLogFileName() : m_env.logFileName;
    RotateLogFiles();

    // Settings come before the rows' enabled states are computed.
    QString error;
    const bool settingsLoaded = LoadSettings(error);
    if (!settingsLoaded) {
        // Also on the terminal, for a copy started from a script or an autostart entry. The box does not
        // wait: an autostarted copy with "-ToRunning" must not sit unmonitored until someone clicks.
        std::fprintf(stderr, "%s\n", qPrintable(tevro::DialogText(error)));
        std::fflush(stderr);
        ShowMessageBoxWithoutWaiting(QStringLiteral("** ERROR **\r\r") + error, tevro::MessageKind::Error);
    }
    for (int slot = 1; slot <= kSlotCount; ++slot)
        EnableSlotRow(slot, true);

    SetCaptions(tevro::ProductLine() + QStringLiteral(" [Inactive]."));
    tevro::SetHint(this, QStringLiteral("|") + tevro::ProductLine());
    Label3->setText(QStringLiteral("By now there is'nt any event scheduled."));
    B_RunStop->setText(QStringLiteral("To \"Running\" .."));
    Label_Copyright->setText(CopyrightLabelText());
    Gauge1->SetMinValue(0);
    Gauge1->SetProgress(0);
    Gauge1->SetMaxValue(0);

    WriteStartupLogLines();
    StartAvailabilityWatch();

    // The message log's header needs the LOG path.
    LOG_ClearMsgClick();
    if (!settingsLoaded)
        AddStartupNote(error.split(QLatin1Char('\r'), Qt::SkipEmptyParts).join(QStringLiteral("\r\n\t")));
    if (!m_env.withoutSessionBus.isEmpty())
        AddStartupNote(m_env.withoutSessionBus);
    SB_Orvex->setEnabled(OrvexAvailable());
    ResetDowntimeTable();
    OpenDowntimeTable();
    BuildHelpPage();
    StartDesktopNotifier();

    // From now on the status line follows the control under the mouse.
    qApp->installEventFilter(this);
}

void TF_Tevro::BuildHelpPage() {
    for (const QString& line : HelpPageHeadLines())
        Memo_Copyright->AddText(line);
    // The help text is built in; its absence is a build fault that the tests catch.
    Memo_Copyright->LoadFromResource(QStringLiteral("Help_Text"));
    Memo_Copyright->GoFirst();
}

void TF_Tevro::FormShow() {
    if (m_graphWindow != nullptr) {
        m_graphWindow->setWindowTitle(windowTitle());
        tevro::SetHint(m_graphWindow, tevro::HintOf(this));
        // As its button says, and never left minimised behind a main window back from the tray.
        if (SB_Graph->isChecked() && (m_graphWindow->isHidden() || m_graphWindow->isMinimized()))
            m_graphWindow->showNormal();
    }
    if (!m_firstShow)
        return;
    m_firstShow = false;
    const QStringList arguments = m_env.arguments.isEmpty() ? QCoreApplication::arguments() : m_env.arguments;
    // Only the first parameter counts, matched whole and without regard to case.
    if (B_RunStop->isEnabled() && tevro::StartsRunning(arguments)) {
        B_RunStop->click();
        // Going Running cleared the message log; the LOG has the notes already.
        for (const QString& note : m_startupNotes)
            AddLogEntry(tevro::ViewEntry(PING_NONE, -1, note, Now()));
    }
}

void TF_Tevro::AddStartupNote(QString text) {
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1); // the entry brings its own full stop
    m_startupNotes << text;
    PingDone(nullptr, PING_NONE, -1, -1, -1, -1, text);
}

void TF_Tevro::FormDestroy() {
    // No result may arrive once the table is closed, not even while an error box below waits.
    ShutdownPingWorkers();
    ShutdownLookups();
    CloseDowntimeTable();
    ForgetHostStates(); // a "not answering" notification would outlive the program that can replace it
    QString error;
    if (!SaveSettings(error))
        ShowMessageBox(QStringLiteral("** ERROR **\r\r") + error, tevro::MessageKind::Error);
}
