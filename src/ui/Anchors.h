// Edge anchoring: a control keeps its distances to the edges of its parent that it is anchored to.
#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <QVector>

class QWidget;

namespace tevro {

enum Anchor : unsigned {
    AnchorLeft = 1u << 0,
    AnchorTop = 1u << 1,
    AnchorRight = 1u << 2,
    AnchorBottom = 1u << 3,
    AnchorAll = AnchorLeft | AnchorTop | AnchorRight | AnchorBottom,
};
using Anchors = unsigned;

// Where a control laid out at `design` inside a parent of `designParent` goes when the parent is `parent`.
// Anchored to both opposite edges it stretches; to the far edge only it moves along; to neither it keeps
// its centre at the same proportion of the parent.
QRect AnchoredRect(const QRect& design, Anchors anchors, const QSize& designParent, const QSize& parent);

// Applies AnchoredRect to the children registered with it whenever their parent is resized.
class AnchorLayout : public QObject {
public:
    AnchorLayout(QWidget* parent, const QSize& designSize);

    // Places `child` at `design` (for the design size) and keeps it anchored from now on.
    void Add(QWidget* child, const QRect& design, Anchors anchors);

    // Places every registered child for the parent's current size.
    void Apply();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Item {
        QWidget* widget;
        QRect design;
        Anchors anchors;
    };
    QWidget* m_parent;
    QSize m_designSize;
    QVector<Item> m_items;
};

} // namespace tevro
