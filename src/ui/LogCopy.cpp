#include "ui/LogCopy.h"

#include "richview/RichView.h"
#include "ui/Hints.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

namespace tevro {

QString PlainLogText(const RichDocument& document) {
    QStringList lines;
    QString line;
    bool started = false;
    for (const Node* node = document.Head(); node != nullptr; node = node->Next) {
        if (const ParaNode* para = AsPara(node)) {
            if (started)
                lines << line;
            line = para->Indent > 0 ? QStringLiteral("   ") : QString();
            started = true;
        } else if (const ItemNode* item = AsItem(node); item != nullptr && item->ItemType == TItemType::Text) {
            const QString word = QString(item->Text).replace(QChar(0x00A0), u' ').trimmed();
            if (word.isEmpty())
                continue;
            if (!line.trimmed().isEmpty())
                line += u' ';
            line += word;
            started = true;
        }
    }
    if (started)
        lines << line;
    return lines.join(u'\n');
}

void AddCopyAllItem(QMenu* menu, TRichView* view) {
    menu->addSeparator()->setObjectName(QStringLiteral("Menu_empy1"));
    QAction* copy = menu->addAction(QStringLiteral("Copy all"));
    copy->setObjectName(QStringLiteral("LOG_CopyAll"));
    SetHint(copy, QStringLiteral("|Copy all messages as plain text, for instance to paste a suggested command"));
    QObject::connect(copy, &QAction::triggered, view, [view] {
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(PlainLogText(view->Content()));
    });
}

} // namespace tevro
