// The information and feedback commands: texts, mail links, the window menu that offers them and
// HandleSysCommand, the one handler both that menu and the tray menu end in.
#include "ui/InfoCommands.h"

#include "common/Product.h"
#include "desktop/DesktopOpen.h"
#include "monitor/HostText.h"
#include "ui/Tevro_u.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>

namespace tevro {
namespace {

QString Version() {
    return QString::fromLatin1(kVersionText);
}

// The mail program shows the %0D%0A of the body as line breaks.
QString MailLink(const QString& recipient, const QString& subject, const QString& thanks,
                 const QString& ask) {
    return QStringLiteral("mailto:") + recipient + QStringLiteral("?CC=") + FeedbackMailAddress() +
           QStringLiteral("&subject=[Tevro v") + Version() + QStringLiteral("] ") + subject +
           QStringLiteral(" ...&body=%0D%0A***%0D%0A*** ") + thanks + QStringLiteral("%0D%0A*** ") + ask +
           QStringLiteral("%0D%0A***");
}

} // namespace

QString FeedbackInfoText() {
    return QStringLiteral(
               "~~~ Feedback -- Info ~~~\r\rIf you want to give me feedback, please send a mail to\r<") +
           FeedbackMailAddress() +
           QStringLiteral(
               ">, or use \"Feedback\" > \"Give feedback ..\",\rif your mail client is installed properly.");
}

QString BugReportInfoText() {
    return QStringLiteral(
               "~~~ Bug report -- Info ~~~\r\rIf you want to report me a bug, please send a mail to\r<") +
           BugReportMailAddress() +
           QStringLiteral(
               ">, or use \"Bug report\" > \"Report a bug ..\",\rif your mail client is installed properly.");
}

QString AboutText() {
    return QStringLiteral("~~~ About ~~~\r\r") + ProductLine() + QStringLiteral("\r\r   Tevro home: ") +
           HomePageAddress() + QStringLiteral("\r\rThank you for using Tevro!");
}

QString FeedbackMailLink() {
    return MailLink(FeedbackMailAddress(), QStringLiteral("Feedback"),
                    QStringLiteral("Thank you for giving feedback!"),
                    QStringLiteral("Please feel free to write me your comments or thoughts."));
}

QString BugReportMailLink() {
    return MailLink(BugReportMailAddress(), QStringLiteral("Bug report"),
                    QStringLiteral("Thank you for reporting a bug!"),
                    QStringLiteral("Please tell me what went wrong while using this program."));
}

QString BrowserFailureText(const QString& address) {
    return QStringLiteral("** ERROR **\r\rFailed to spawn browser for <") + address + QStringLiteral(">.");
}

QString MailRecipient(const QString& link) {
    const QString rest = link.mid(link.indexOf(QLatin1Char(':')) + 1);
    return rest.left(rest.indexOf(QLatin1Char('?')));
}

QString MailFailureText(const QString& recipient) {
    return QStringLiteral("** ERROR **\r\rFailed to spawn mail client for <") + recipient +
           QStringLiteral(">.");
}

} // namespace tevro

void TF_Tevro::BuildInfoMenu() {
    // The window manager owns the title bar's menu, so the same entries come up on a right click on
    // the status line and on the pages around the controls.
    SystemMenu = new QMenu(this);
    SystemMenu->setObjectName(QStringLiteral("SystemMenu"));
    auto item = [this](QMenu* menu, const QString& caption, int command) {
        QAction* action = menu->addAction(caption);
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { DoSysCommand(command); });
    };
    item(SystemMenu, QStringLiteral("Minimize"), tevro::kSysMinimize);
    item(SystemMenu, QStringLiteral("Close"), tevro::kSysClose);
    SystemMenu->addSeparator();
    QMenu* feedback = SystemMenu->addMenu(QStringLiteral("Feedback"));
    item(feedback, QStringLiteral("Info"), tevro::kFeedbackInfo);
    item(feedback, QStringLiteral("Give feedback .."), tevro::kFeedbackDoIt);
    QMenu* bugReport = SystemMenu->addMenu(QStringLiteral("Bug report"));
    item(bugReport, QStringLiteral("Info"), tevro::kBugReportInfo);
    item(bugReport, QStringLiteral("Report a bug .."), tevro::kBugReportDoIt);
    SystemMenu->addSeparator();
    item(SystemMenu, QStringLiteral("About Tevro"), tevro::kAboutInfo);
    item(SystemMenu, QStringLiteral("Open Tevro website"), tevro::kAboutOpenWebsite);

    for (QWidget* area : {static_cast<QWidget*>(Status_Bar), Page_Ping, Page_Help}) {
        area->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(area, &QWidget::customContextMenuRequested, this,
                [this, area](const QPoint& at) { SystemMenu->popup(area->mapToGlobal(at)); });
    }

    const std::pair<QAction*, int> trayItems[] = {
        {mi_Feedback_Info, tevro::kFeedbackInfo},   {mi_Feedback_DoIt, tevro::kFeedbackDoIt},
        {mi_BugReport_Info, tevro::kBugReportInfo}, {mi_BugReport_DoIt, tevro::kBugReportDoIt},
        {mi_About_Info, tevro::kAboutInfo},         {mi_About_OpenWebsite, tevro::kAboutOpenWebsite},
    };
    for (const auto& [action, command] : trayItems)
        connect(action, &QAction::triggered, this, [this, command = command] { DoSysCommand(command); });
}

void TF_Tevro::DoSysCommand(int command) {
    TSysCommandMessage message;
    message.CmdType = command;
    HandleSysCommand(message);
}

void TF_Tevro::HandleSysCommand(TSysCommandMessage& message) {
    message.Result = 0;
    switch (message.CmdType) {
    case tevro::kFeedbackInfo:
        ShowMessageBox(tevro::FeedbackInfoText(), tevro::MessageKind::Information);
        break;
    case tevro::kFeedbackDoIt:
        OpenMailLink(tevro::FeedbackMailLink());
        break;
    case tevro::kBugReportInfo:
        ShowMessageBox(tevro::BugReportInfoText(), tevro::MessageKind::Information);
        break;
    case tevro::kBugReportDoIt:
        OpenMailLink(tevro::BugReportMailLink());
        break;
    case tevro::kAboutInfo:
        ShowMessageBox(tevro::AboutText(), tevro::MessageKind::Information);
        break;
    case tevro::kAboutOpenWebsite:
        OpenUrl(tevro::HomePageAddress());
        break;
    case tevro::kSysMinimize:
        showMinimized();
        break;
    case tevro::kSysRestore:
        WinTaskbarDblClick();
        break;
    case tevro::kSysClose:
        close();
        break;
    default:
        break;
    }
}

void TF_Tevro::OpenWithDesktop(const QString& target, std::function<void()> failed) {
    if (m_env.openUrl) {
        if (!m_env.openUrl(target))
            failed();
        return;
    }
    tevro::OpenWithDesktop(target, this, [failed = std::move(failed)](bool opened) {
        if (!opened)
            failed();
    });
}

void TF_Tevro::OpenUrl(const QString& address) {
    if (tevro::IsBlankText(address))
        return;
    OpenWithDesktop(address, [this, address] {
        ShowMessageBox(tevro::BrowserFailureText(address), tevro::MessageKind::Error);
    });
}

void TF_Tevro::OpenMailLink(const QString& link) {
    // Without a mail program the link would vanish without a word: name the address to write to.
    OpenWithDesktop(link, [this, link] {
        ShowMessageBox(tevro::MailFailureText(tevro::MailRecipient(link)), tevro::MessageKind::Error);
    });
}
