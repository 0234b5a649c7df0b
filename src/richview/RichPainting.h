// The text view's fonts, its measuring surface over Qt's font metrics, and the canvas that paints rows.
#pragma once

#include "richview/RichLayout.h"
#include "richview/TextMeasurer.h"

#include <QFont>
#include <QFontMetrics>
#include <optional>

class QPainter;

namespace tevro {

// Turns font attributes into the QFont they describe. Attributes that name the view's own face, size
// and pitch get the view's font itself (which may be set in pixels), so that text in the base font
// looks exactly like the control's font; anything else goes through FontFromAttrs.
class ViewFonts {
public:
    void SetBase(const QFont& font, const TFontAttrs& attrs);
    QFont FontFor(const TFontAttrs& attrs) const;

    // The base attributes that describe `font`: face, pitch, size in points, styles (colours untouched).
    static void DescribeFont(const QFont& font, TFontAttrs& attrs);

private:
    QFont m_font;
    TFontAttrs m_attrs;
};

// The surface the parser measures words on: the view's fonts and Qt's font metrics.
class ViewMeasurer final : public TextMeasurer {
public:
    explicit ViewMeasurer(const ViewFonts& fonts) : m_fonts(fonts), m_metrics(QFont()) {}

    void ApplyAttrs(const TFontAttrs& attrs) override;
    QSize TextExtent(const QString& text) override;
    // The view's fonts changed: the next ApplyAttrs builds its font afresh.
    void Reset() { m_attrs.reset(); }

private:
    const ViewFonts& m_fonts;
    std::optional<TFontAttrs> m_attrs;
    QFontMetrics m_metrics;
};

// Paints the rows of one layout pass onto a painter (the off-screen pixmap). Fonts are built only
// when something is drawn in them, so rows walked outside the visible band cost nothing here.
class PainterCanvas final : public LayoutCanvas {
public:
    PainterCanvas(QPainter& painter, const ViewFonts& fonts, const TFontAttrs& baseAttrs);

    void ApplyAttrs(const TFontAttrs& attrs) override;
    void DrawText(int x, int top, const ItemNode& item) override;
    void DrawPicture(int x, int top, const ItemNode& item) override;
    void DrawRule(int x, int y, const ItemNode& item) override;

private:
    void RealizeFont();

    QPainter& m_painter;
    const ViewFonts& m_fonts;
    const TFontAttrs& m_baseAttrs;
    const TFontAttrs* m_current;            // attributes last applied
    const TFontAttrs* m_realized = nullptr; // attributes the painter's font was built from
    QFontMetrics m_metrics;
    int m_penWidth = 1; // a rule without a thickness keeps the previous rule's pen
};

// A colour value of the markup as a QColor.
QColor ToQColor(Color32 color);
Color32 FromQColor(const QColor& color);

} // namespace tevro
