// The product's names, version and addresses, in one place for every window, the LOG and the tray.
#pragma once

#include <QString>

namespace tevro {

inline constexpr char kProductName[] = "Tevro";
inline constexpr char kVersionText[] = "3.01.2";

// Caption stem, tray tip, window hint, first LOG line and About text.
inline QString ProductLine() {
    return QStringLiteral("Tevro v3.01.2 (c) 1999-2026 Kaltmer, all rights reserved.");
}

inline QString FeedbackMailAddress() { return QStringLiteral("feedback@kaltmer.example"); }
inline QString BugReportMailAddress() { return QStringLiteral("bugs@kaltmer.example"); }
inline QString HomePageAddress() { return QStringLiteral("https://www.kaltmer.example/tevro/"); }

} // namespace tevro
