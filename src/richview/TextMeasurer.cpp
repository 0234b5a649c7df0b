// Font attributes onto a QFont, and measuring with Qt's font metrics.
#include "richview/TextMeasurer.h"

#include <algorithm>

namespace tevro {

namespace {
// Beyond this the font engine spends seconds and megabytes per glyph; markup may ask for anything.
constexpr int kMaxPointSize = 512;
} // namespace

QFont FontFromAttrs(const TFontAttrs& attrs) {
    QFont font;
    if (!attrs.Name.isEmpty())
        font.setFamily(attrs.Name);
    switch (attrs.Pitch) {
    case fpFixed:
        font.setFixedPitch(true);
        font.setStyleHint(QFont::TypeWriter);
        break;
    case fpVariable:
        font.setFixedPitch(false);
        break;
    case fpDefault:
        break;
    }
    if (attrs.Size > 0)
        font.setPointSize(std::min(attrs.Size, kMaxPointSize));
    font.setBold(attrs.Style.testFlag(fsBold));
    font.setItalic(attrs.Style.testFlag(fsItalic));
    font.setUnderline(attrs.Style.testFlag(fsUnderline));
    font.setStrikeOut(attrs.Style.testFlag(fsStrikeOut));
    return font;
}

FontMetricsMeasurer::FontMetricsMeasurer() : m_metrics(m_font) {}

void FontMetricsMeasurer::ApplyAttrs(const TFontAttrs& attrs) {
    if (m_attrs && *m_attrs == attrs)
        return;
    m_attrs = attrs;
    m_font = FontFromAttrs(attrs);
    m_metrics = QFontMetrics(m_font);
}

QSize FontMetricsMeasurer::TextExtent(const QString& text) {
    // horizontalAdvance is the pen advance, which is what lays words side by side; height is the line's.
    return {m_metrics.horizontalAdvance(text), m_metrics.height()};
}

} // namespace tevro
