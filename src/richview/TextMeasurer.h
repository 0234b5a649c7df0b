// Measuring text for the markup parser: the interface, the mapping of font attributes onto a QFont, and the
// measurer over Qt's font metrics that the view uses.
#pragma once

#include "richview/RichNodes.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QSize>
#include <QString>
#include <memory>
#include <vector>

namespace tevro {

// The surface the parser measures words on. It keeps a current font, like a canvas: the parser applies a
// node's font attributes, then asks for extents. Abstract so tests can measure with exact fixed widths.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;

    // Makes `attrs` the font of later measurements (the brush part of the attributes does not matter here).
    virtual void ApplyAttrs(const TFontAttrs& attrs) = 0;

    // Width and height of `text` as one line in the current font, no prefix processing, no clipping.
    virtual QSize TextExtent(const QString& text) = 0;
};

// The QFont that the attributes describe: family, pitch, size in points and styles. Sizes that are not
// positive keep the default size, and very large ones are held to a size the font engine copes with.
QFont FontFromAttrs(const TFontAttrs& attrs);

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

// The view's measuring surface: its fonts and Qt's font metrics. Log lines repeat the same few fonts and
// words, so the metrics of recent fonts and the widths of words measured in them are kept (bounded).
class ViewMeasurer final : public TextMeasurer {
public:
    explicit ViewMeasurer(const ViewFonts& fonts);
    ~ViewMeasurer() override;

    void ApplyAttrs(const TFontAttrs& attrs) override;
    QSize TextExtent(const QString& text) override;
    // The view's fonts changed: every kept width is forgotten.
    void Reset();

private:
    struct CachedFont;
    const ViewFonts& m_fonts;
    std::vector<std::unique_ptr<CachedFont>> m_cache; // most recently applied last
    CachedFont* m_current = nullptr;
};

} // namespace tevro
