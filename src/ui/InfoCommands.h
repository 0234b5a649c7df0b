// The information and feedback commands: their numbers, texts and mail links.
#pragma once

#include <QString>

namespace tevro {

// Command numbers, as the window menu hands them to TF_Tevro::HandleSysCommand.
inline constexpr int kFeedbackInfo = 0x4711;
inline constexpr int kFeedbackDoIt = 0x4712;
inline constexpr int kBugReportInfo = 0x4811;
inline constexpr int kBugReportDoIt = 0x4812;
inline constexpr int kAboutInfo = 0x4911;
inline constexpr int kAboutOpenWebsite = 0x4912;
// The standard window commands the menu offers beside them.
inline constexpr int kSysMinimize = 0xF020;
inline constexpr int kSysClose = 0xF060;
inline constexpr int kSysRestore = 0xF120;

QString FeedbackInfoText();
QString BugReportInfoText();
QString AboutText();
// "mailto:" links whose body carries percent-encoded line breaks.
QString FeedbackMailLink();
QString BugReportMailLink();
QString BrowserFailureText(const QString& address);
// The recipient of a mail link ("someone@host" of "mailto:someone@host?...").
QString MailRecipient(const QString& link);
QString MailFailureText(const QString& recipient);

} // namespace tevro
