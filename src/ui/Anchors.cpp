// Edge anchoring arithmetic and the resize watcher that applies it.
#include "ui/Anchors.h"

#include <QEvent>
#include <QWidget>

namespace tevro {
namespace {

// One axis: position and extent for the near/far anchors.
void AnchorAxis(int designPos, int designLen, bool nearEdge, bool farEdge, int designParent, int parent,
                int& pos, int& len) {
    const int grow = parent - designParent;
    pos = designPos;
    len = designLen;
    if (nearEdge && farEdge) {
        len = std::max(0, designLen + grow);
    } else if (farEdge) {
        pos = designPos + grow;
    } else if (!nearEdge && designParent > 0) {
        // Keep the centre at the same fraction of the parent.
        const double centre = (designPos + designLen / 2.0) * parent / designParent;
        pos = static_cast<int>(centre - designLen / 2.0 + 0.5);
    }
}

} // namespace

QRect AnchoredRect(const QRect& design, Anchors anchors, const QSize& designParent, const QSize& parent) {
    int x = 0, w = 0, y = 0, h = 0;
    AnchorAxis(design.x(), design.width(), anchors & AnchorLeft, anchors & AnchorRight, designParent.width(),
               parent.width(), x, w);
    AnchorAxis(design.y(), design.height(), anchors & AnchorTop, anchors & AnchorBottom,
               designParent.height(), parent.height(), y, h);
    return QRect(x, y, w, h);
}

AnchorLayout::AnchorLayout(QWidget* parent, const QSize& designSize)
    : QObject(parent), m_parent(parent), m_designSize(designSize) {
    parent->installEventFilter(this);
}

void AnchorLayout::Add(QWidget* child, const QRect& design, Anchors anchors) {
    m_items.append({child, design, anchors});
    child->setGeometry(AnchoredRect(design, anchors, m_designSize, m_parent->size()));
}

void AnchorLayout::Apply() {
    const QSize size = m_parent->size();
    for (const Item& item : std::as_const(m_items))
        item.widget->setGeometry(AnchoredRect(item.design, item.anchors, m_designSize, size));
}

bool AnchorLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_parent && event->type() == QEvent::Resize)
        Apply();
    return QObject::eventFilter(watched, event);
}

} // namespace tevro
