// Font attributes onto a QFont, and measuring with Qt's font metrics.
#include "richview/TextMeasurer.h"

#include <QHash>
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

struct FontMetricsMeasurer::CachedFont {
    explicit CachedFont(const TFontAttrs& a) : attrs(a), font(FontFromAttrs(a)), metrics(font) {}
    TFontAttrs attrs;
    QFont font;
    QFontMetrics metrics;
    QHash<QString, int> widths;
};

namespace {
constexpr size_t kMaxFonts = 8;
constexpr qsizetype kMaxWordsPerFont = 4096;
} // namespace

FontMetricsMeasurer::FontMetricsMeasurer() {
    ApplyAttrs(TFontAttrs{});
}

FontMetricsMeasurer::~FontMetricsMeasurer() = default;

void FontMetricsMeasurer::ApplyAttrs(const TFontAttrs& attrs) {
    if (m_current && m_current->attrs == attrs)
        return;
    auto found =
        std::find_if(m_fonts.begin(), m_fonts.end(), [&](const auto& f) { return f->attrs == attrs; });
    std::unique_ptr<CachedFont> entry;
    if (found != m_fonts.end()) {
        entry = std::move(*found);
        m_fonts.erase(found);
    } else {
        entry = std::make_unique<CachedFont>(attrs);
        if (m_fonts.size() >= kMaxFonts)
            m_fonts.erase(m_fonts.begin());
    }
    m_current = entry.get();
    m_fonts.push_back(std::move(entry));
}

QSize FontMetricsMeasurer::TextExtent(const QString& text) {
    // horizontalAdvance is the pen advance, which is what lays words side by side; height is the line's.
    const int height = m_current->metrics.height();
    QHash<QString, int>& widths = m_current->widths;
    if (const auto it = widths.constFind(text); it != widths.constEnd())
        return {*it, height};
    const int width = m_current->metrics.horizontalAdvance(text);
    if (widths.size() >= kMaxWordsPerFont)
        widths.clear();
    widths.insert(text, width);
    return {width, height};
}

const QFont& FontMetricsMeasurer::Font() const {
    return m_current->font;
}

} // namespace tevro
