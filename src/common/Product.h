// The product's names, version and addresses, in one place for every window, the LOG and the tray.
#pragma once

#include <QString>

namespace tevro {

inline constexpr char kProductName[] = "Tevro";
inline constexpr char kVersionText[] = "3.01.2";
// Names the installed desktop entry, icon and metadata, so the desktop ties windows to them.
inline constexpr char kDesktopId[] = "example.kaltmer.Tevro";

// The maker's notice in its pieces: the help page and the copyright label break it into lines.
inline QString ProductTitle() {
    return QStringLiteral("Tevro v3.01.2 (c) 1999-2026");
}
inline QString NoticeHolder() {
    return QStringLiteral("Kaltmer");
}
inline QString NoticeClosing() {
    return QStringLiteral("all rights reserved");
}

// Caption stem, tray tip, window hint, first LOG line and About text. No closing full stop: the
// callers add their own (" [Inactive].", the LOG's "." line).
inline QString ProductLine() {
    return ProductTitle() + QLatin1Char(' ') + NoticeHolder() + QStringLiteral(", ") + NoticeClosing();
}

inline QString FeedbackMailAddress() {
    return QStringLiteral("feedback@kaltmer.example");
}
inline QString BugReportMailAddress() {
    return QStringLiteral("bugs@kaltmer.example");
}
inline QString HomePageAddress() {
    return QStringLiteral("https://www.kaltmer.example/tevro/");
}

} // namespace tevro
