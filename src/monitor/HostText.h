// The host text of a row as it is pinged and looked up, and what counts as blank around it.
#pragma once

#include <QString>

namespace tevro {

// What counts as a blank or control character around a host or an address: white space of any script and
// the C0/C1 control characters.
bool IsBlankOrControl(QChar ch);
// True when `text` holds nothing else (an empty text too).
bool IsBlankText(const QString& text);

// The text without the blanks and control characters around it: no name or address holds them, and a
// trailing blank, invisible in the row, must not make a good host fail. Nothing inside changes.
QString HostForPing(const QString& text);

} // namespace tevro
