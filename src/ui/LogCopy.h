// "Copy all" in the message log's popup menu: the log's entries as plain text, as the LOG file has them.
#pragma once

#include <QString>

class QMenu;
class TRichView;

namespace tevro {

class RichDocument;

// The document's text, one line per paragraph; an indented paragraph begins with three blanks, as a
// continuation line does in the LOG file. Labels padded with non-breaking spaces lose the padding.
QString PlainLogText(const RichDocument& document);

// Adds a separator and "Copy all" (LOG_CopyAll) below the menu's items; it puts the view's plain text
// on the clipboard.
void AddCopyAllItem(QMenu* menu, TRichView* view);

} // namespace tevro
