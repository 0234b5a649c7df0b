// The layout walk. Widths and heights were measured at parse time, so a pass only adds stored numbers
// and stays linear in the number of nodes.
#include "richview/RichLayout.h"

#include <algorithm>
#include <limits>

namespace tevro {

namespace {

// Markup can ask for absurd indents, rule widths and picture sizes; sums are kept in 64 bits and
// clamped where they leave the pass.
using Wide = qint64;

int Saturate(Wide v) {
    return static_cast<int>(
        std::clamp<Wide>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Positions handed to the canvas: anything beyond this is far outside every surface, and the canvas can
// add a width to it without overflowing.
int Coord(Wide v) {
    return static_cast<int>(std::clamp<Wide>(v, -(Wide(1) << 24), Wide(1) << 24));
}

// Rows before any visible paragraph node (its paragraph hidden) lay out as a plain paragraph.
const ParaNode& DefaultPara() {
    static const ParaNode para;
    return para;
}

class Walk {
public:
    Walk(const LayoutMetrics& metrics, LayoutCanvas* canvas) : m(metrics), m_canvas(canvas) {}

    // Walks from `from` to the end of the document and returns the content height. With `last`, it
    // receives the state at the last row or paragraph start the walk reached.
    int Run(const RichDocument& document, const LayoutResume& from, LayoutResume* last) {
        const Node* n = from.node != nullptr ? from.node : document.Head();
        m_y = from.y;
        m_rowH = from.rowH;
        m_para = from.para != nullptr ? from.para : &DefaultPara();
        while (n != nullptr) {
            if (last != nullptr)
                *last = {n, m_y, m_rowH, m_para};
            if (!n->Visible && !m.showHidden) {
                n = n->Next;
            } else if (const ParaNode* para = AsPara(n)) {
                // An empty paragraph (one directly followed by another) is one line tall.
                if (m_rowH == 0 && AsPara(n->Next) != nullptr) {
                    m_y += m.lineHeight;
                } else {
                    m_y += m_rowH;
                    m_rowH = m.lineHeight;
                }
                m_para = para;
                n = n->Next;
            } else {
                n = Row(n);
            }
        }
        return Saturate(m_y + m_rowH);
    }

private:
    // Lays out one row beginning at `first` (a font or item node); returns the node it stopped at.
    const Node* Row(const Node* first) {
        const FontNode* leadFont = AsFont(first);
        if (leadFont != nullptr && m_canvas != nullptr)
            m_canvas->ApplyAttrs(leadFont->Attrs);

        // Measure what fits. The height of the first item that no longer fits counts too.
        Wide firstW = 1;
        Wide rowW = 1;
        qsizetype fits = 0; // items the row takes
        bool anyItem = false;
        m_rowH = 0;
        for (const Node* k = leadFont != nullptr ? first->Next : first;
             k != nullptr && k->Kind != TNodeKind::Para; k = k->Next) {
            const ItemNode* item = AsItem(k);
            if (item == nullptr)
                continue;
            anyItem = true;
            if (firstW == 1)
                firstW = item->Width;
            m_rowH = std::max<Wide>(m_rowH, item->Height);
            if (m_para->Indent + rowW + item->Width > m.avail)
                break;
            rowW += item->Width;
            ++fits;
        }
        // Not even the first item fits (or what fits has no width): the row is as wide as its first item
        // and takes at least that one, whatever its width.
        if (rowW == 1) {
            rowW = firstW;
            if (anyItem)
                fits = std::max<qsizetype>(fits, 1);
        }

        Wide x = 0;
        switch (m_para->HAlign) {
        case THAlign::Center:
            x = (m.avail - rowW) / 2 + m_para->Indent + 1;
            break;
        case THAlign::Right:
            x = m.avail - rowW + m_para->Indent - 1;
            break;
        case THAlign::Left:
            x = Wide{m_para->Indent} + 1;
            break;
        }

        if (m_canvas != nullptr && m_pendingFont != nullptr) {
            m_canvas->ApplyAttrs(m_pendingFont->Attrs);
            m_pendingFont = nullptr;
        }

        // Place exactly what was measured. Testing each item against the edge again would place fewer
        // where an indent or alignment starts the row far right, and every next row would measure the
        // rest of the paragraph again: quadratic time on a long line of narrow items.
        const bool inBand = m_y - m.pos >= -m_rowH && m_y - m.pos <= m.height;
        const Node* k = first;
        while (k != nullptr) {
            if (const FontNode* font = AsFont(k)) {
                if (m_canvas != nullptr) {
                    if (inBand)
                        m_canvas->ApplyAttrs(font->Attrs);
                    else
                        m_pendingFont = font; // only the last one matters for the next row
                }
                k = k->Next;
                continue;
            }
            const ItemNode* item = AsItem(k);
            if (item == nullptr)
                break; // a paragraph node: it advances Y itself
            if (fits == 0) {
                m_y += m_rowH; // ended at an item that does not fit: the next row begins below
                break;
            }
            if (m_canvas != nullptr && inBand)
                Draw(x, *item);
            x += item->Width;
            --fits;
            k = k->Next;
        }
        return k;
    }

    void Draw(Wide x, const ItemNode& item) {
        const Wide top = m_y - m.pos;
        switch (item.ItemType) {
        case TItemType::Text: {
            if (item.Text.isEmpty())
                return; // tabs and items left with their defaults
            Wide y = top;
            if (m_para->VAlign == TVAlign::Middle)
                y = top + (m_rowH - item.Height) / 2;
            else if (m_para->VAlign == TVAlign::Bottom)
                y = top + m_rowH - item.Height;
            m_canvas->DrawText(Coord(x), Coord(y), item);
            break;
        }
        case TItemType::Picture:
        case TItemType::TransparentPicture:
            // Pictures sit on the row's bottom whatever the paragraph's vertical alignment.
            if (!item.Text.isEmpty())
                m_canvas->DrawPicture(Coord(x), Coord(top + m_rowH - item.Height), item);
            break;
        case TItemType::Rule:
            m_canvas->DrawRule(Coord(x), Coord(top + m.lineHeight / 2), item);
            break;
        }
    }

    const LayoutMetrics& m;
    LayoutCanvas* m_canvas;
    Wide m_y = 0;
    Wide m_rowH = 0;
    const ParaNode* m_para = &DefaultPara();
    const FontNode* m_pendingFont = nullptr;
};

} // namespace

int LayoutPass(const RichDocument& document, const LayoutMetrics& metrics, LayoutCanvas* canvas) {
    return Walk(metrics, canvas).Run(document, {}, nullptr);
}

bool ContentHeight::Resumable(const RichDocument& document, const LayoutMetrics& metrics) const {
    // The scroll position and the control's height only decide what is drawn, not where rows break.
    return m_document == &document && m_edits == document.Edits() && m_metrics.avail == metrics.avail &&
           m_metrics.lineHeight == metrics.lineHeight && m_metrics.showHidden == metrics.showHidden;
}

int ContentHeight::Of(const RichDocument& document, const LayoutMetrics& metrics) {
    if (!Resumable(document, metrics)) {
        m_document = &document;
        m_edits = document.Edits();
        m_metrics = metrics;
        m_resume = {};
    }
    const LayoutResume from = m_resume;
    return Walk(metrics, nullptr).Run(document, from, &m_resume);
}

} // namespace tevro
