// The log extraction command: runs the extraction tool in the LOG file's folder without blocking the
// window, then opens the tool's fresh output with the desktop's handler for text files.
#include "logging/Extraction.h"
#include "ui/Tevro_u.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QToolButton>

struct TF_Tevro::OrvexState {
    ~OrvexState() {
        if (run.Running()) // the window goes first; the tool finishes on its own
            QApplication::restoreOverrideCursor();
    }

    QString tool; // found once at start-up
    tevro::ExtractionRun run;
};

bool TF_Tevro::OrvexAvailable() {
    if (!m_orvex)
        m_orvex = std::make_shared<OrvexState>();
    m_orvex->tool = tevro::FindExtractionTool(QCoreApplication::applicationDirPath());
    return !m_orvex->tool.isEmpty();
}

void TF_Tevro::SB_OrvexClick() {
    if (!m_orvex || m_orvex->tool.isEmpty() || m_orvex->run.Running())
        return;
    // The tool finds the LOG files in its working folder, and leaves its output there.
    const QString folder = QFileInfo(LogFileName).absolutePath();
    const auto finished = [this](tevro::ExtractionRun::Outcome outcome, const QString& output) {
        QApplication::restoreOverrideCursor();
        SB_Orvex->setEnabled(true);
        if (outcome == tevro::ExtractionRun::Outcome::NoOutput) {
            ShowMessageBox(QStringLiteral("** ERROR **\r\rNo output file created: too few data."),
                           tevro::MessageKind::Error);
            return;
        }
        // The report is there whatever becomes of the editor: a failure names it.
        const auto failed = [this, output] {
            ShowMessageBox(
                QStringLiteral("** ERROR **\r\rFailed to spawn editor \"xdg-open\".\r\rThe report is ") +
                    output,
                tevro::MessageKind::Error);
        };
        if (m_env.openDocument) {
            if (m_env.openDocument(output) <= 32)
                failed();
            return;
        }
        OpenWithDesktop(output, failed);
    };

    QApplication::setOverrideCursor(Qt::WaitCursor);
    SB_Orvex->setEnabled(false);
    if (!m_orvex->run.Start(m_orvex->tool, tevro::ExtractionArguments(LogFileName), folder, finished)) {
        QApplication::restoreOverrideCursor();
        SB_Orvex->setEnabled(true);
        ShowMessageBox(QStringLiteral("** ERROR **\r\rFailed to spawn LOG extractor \"orvex\"."),
                       tevro::MessageKind::Error);
    }
}
