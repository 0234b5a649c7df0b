// The host text of a row as it is pinged.
#pragma once

#include <QString>

namespace tevro {

// The text without the blanks and control characters around it: no name or address holds them, and a
// trailing blank, invisible in the row, must not make a good host fail. Nothing inside changes.
QString HostForPing(const QString& text);

} // namespace tevro
