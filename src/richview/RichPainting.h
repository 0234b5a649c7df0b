// The canvas that paints the rows of the text view.
#pragma once

#include "richview/PictureCache.h"
#include "richview/RichLayout.h"
#include "richview/TextMeasurer.h"

#include <QFont>
#include <QFontMetrics>

class QPainter;

namespace tevro {

// Paints the rows of one layout pass onto a painter (the off-screen pixmap). Fonts are built only
// when something is drawn in them, so rows walked outside the visible band cost nothing here.
class PainterCanvas final : public LayoutCanvas {
public:
    PainterCanvas(QPainter& painter, const ViewFonts& fonts, const TFontAttrs& baseAttrs,
                  const PictureCache& pictures);

    void ApplyAttrs(const TFontAttrs& attrs) override;
    void DrawText(int x, int top, const ItemNode& item) override;
    void DrawPicture(int x, int top, const ItemNode& item) override;
    void DrawRule(int x, int y, const ItemNode& item) override;

private:
    void RealizeFont();

    QPainter& m_painter;
    const ViewFonts& m_fonts;
    const TFontAttrs& m_baseAttrs;
    const PictureCache& m_pictures;
    const TFontAttrs* m_current;            // attributes last applied
    const TFontAttrs* m_realized = nullptr; // attributes the painter's font was built from
    QFontMetrics m_metrics;
    int m_penWidth = 1; // a rule without a thickness keeps the previous rule's pen
};

// A colour value of the markup as a QColor.
QColor ToQColor(Color32 color);
Color32 FromQColor(const QColor& color);

} // namespace tevro
