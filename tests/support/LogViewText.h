// The words a text view holds, for tests that look at the message log.
#pragma once

#include "richview/RichView.h"

#include <QString>

namespace tevro::test {

// Text items joined by one blank, a line break before each paragraph after the first.
inline QString LogViewText(const TRichView& view) {
    QString text;
    for (const Node* node = view.Content().Head(); node != nullptr; node = node->Next) {
        if (node->Kind == TNodeKind::Para && !text.isEmpty()) {
            text += QLatin1Char('\n');
        } else if (const ItemNode* item = AsItem(node); item != nullptr && !item->Text.isEmpty()) {
            if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
                text += QLatin1Char(' ');
            text += item->Text;
        }
    }
    return text;
}

} // namespace tevro::test
