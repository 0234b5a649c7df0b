// Measuring text for the markup parser: the interface, the mapping of font attributes onto a QFont, and the
// measurer over Qt's font metrics that the view uses.
#pragma once

#include "richview/RichNodes.h"

#include <QFont>
#include <QFontMetrics>
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

// Measures with QFontMetrics (needs a QGuiApplication). Log lines repeat the same few fonts and words, so
// the metrics of recent fonts and the widths of words measured in them are kept (bounded).
class FontMetricsMeasurer final : public TextMeasurer {
public:
    FontMetricsMeasurer();
    ~FontMetricsMeasurer() override;

    void ApplyAttrs(const TFontAttrs& attrs) override;
    QSize TextExtent(const QString& text) override;

    // The font left by the last ApplyAttrs (the view keeps painting with it).
    const QFont& Font() const;

private:
    struct CachedFont;
    std::vector<std::unique_ptr<CachedFont>> m_fonts; // most recently applied last
    CachedFont* m_current = nullptr;
};

} // namespace tevro
