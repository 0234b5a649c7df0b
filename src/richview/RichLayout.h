// The text view's layout walk: rows, wrapping, alignment and the content height, with drawing delegated.
#pragma once

#include "richview/RichNodes.h"

namespace tevro {

// The view's values one layout pass works with.
struct LayoutMetrics {
    int avail = 0;      // width available to text (control width less the scroll bar)
    int height = 0;     // control height
    int lineHeight = 0; // height of an empty paragraph and of rules
    int pos = 0;        // scroll position, 0 while the bar is disabled
    bool showHidden = false;
};

// What a painting pass asks to be drawn. Positions are on the visible surface (content minus scroll
// position). Abstract so that tests can record where things go without painting.
class LayoutCanvas {
public:
    virtual ~LayoutCanvas() = default;

    // The font attributes of a font node become the current ones (with the transparent-if-base rule).
    virtual void ApplyAttrs(const TFontAttrs& attrs) = 0;
    // A text item with its top left at (x, top), in the current font and back colour.
    virtual void DrawText(int x, int top, const ItemNode& item) = 0;
    // A picture item with its top left at (x, top).
    virtual void DrawPicture(int x, int top, const ItemNode& item) = 0;
    // A rule item from (x, y) to (x + item.Width, y), in the current fore colour.
    virtual void DrawRule(int x, int y, const ItemNode& item) = 0;
};

// Walks the document once and returns the content height in pixels. With a canvas, the rows that
// meet the visible band are drawn onto it; the others are walked but not drawn.
int LayoutPass(const RichDocument& document, const LayoutMetrics& metrics, LayoutCanvas* canvas);

// A walk's state where a row or paragraph begins: all the rest of a pass depends on this and on the
// nodes from `node` on, so a pass can go on from here once more nodes are appended.
struct LayoutResume {
    const Node* node = nullptr;     // nullptr: the document's head
    qint64 y = 0;                   // top of the current row
    qint64 rowH = 0;                // height of the current row, 0 before the first
    const ParaNode* para = nullptr; // the paragraph in force, nullptr before the first
};

// The content height of one document, kept between calls. The message log grows by one entry at a
// time, and a full pass over it costs far more than laying out the entry: while the document has only
// been appended to and the row-shaping metrics are the same, a call walks only the new nodes (and the
// last row before them, which they may join).
class ContentHeight {
public:
    int Of(const RichDocument& document, const LayoutMetrics& metrics);

private:
    bool Resumable(const RichDocument& document, const LayoutMetrics& metrics) const;

    const RichDocument* m_document = nullptr;
    quint64 m_edits = 0;
    LayoutMetrics m_metrics; // those the resume point was laid out with
    LayoutResume m_resume;
};

} // namespace tevro
