// Font attributes onto a QFont, the view's fonts, and measuring with Qt's font metrics.
#include "richview/TextMeasurer.h"

#include <QFontInfo>
#include <algorithm>

namespace tevro {

namespace {
// Beyond this the font engine spends seconds and megabytes per glyph; markup may ask for anything.
constexpr int kMaxPointSize = 512;
// A log repeats a handful of fonts (label, date, plain) and a few hundred words; markup can ask for more.
constexpr size_t kMaxFonts = 8;
constexpr qsizetype kMaxWordsPerFont = 4096;

// Colours do not change a width: labels in several colours share one font's widths.
bool SameFont(const TFontAttrs& a, const TFontAttrs& b) {
    return a.Name == b.Name && a.Pitch == b.Pitch && a.Size == b.Size && a.Style == b.Style;
}
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

void ViewFonts::SetBase(const QFont& font, const TFontAttrs& attrs) {
    m_font = font;
    m_attrs = attrs;
}

QFont ViewFonts::FontFor(const TFontAttrs& attrs) const {
    if (attrs.Name != m_attrs.Name || attrs.Pitch != m_attrs.Pitch || attrs.Size != m_attrs.Size)
        return FontFromAttrs(attrs);
    QFont font = m_font;
    font.setBold(attrs.Style.testFlag(fsBold));
    font.setItalic(attrs.Style.testFlag(fsItalic));
    font.setUnderline(attrs.Style.testFlag(fsUnderline));
    font.setStrikeOut(attrs.Style.testFlag(fsStrikeOut));
    return font;
}

void ViewFonts::DescribeFont(const QFont& font, TFontAttrs& attrs) {
    attrs.Name = font.family().left(32);
    attrs.Pitch = font.fixedPitch() ? fpFixed : fpDefault;
    // A font given in pixels has no point size of its own; take the one it is shown at.
    attrs.Size = font.pointSize() > 0 ? font.pointSize() : qRound(QFontInfo(font).pointSizeF());
    TFontStyles style;
    style.setFlag(fsBold, font.bold());
    style.setFlag(fsItalic, font.italic());
    style.setFlag(fsUnderline, font.underline());
    style.setFlag(fsStrikeOut, font.strikeOut());
    attrs.Style = style;
}

struct ViewMeasurer::CachedFont {
    CachedFont(const TFontAttrs& a, const QFont& font) : attrs(a), metrics(font), height(metrics.height()) {}
    TFontAttrs attrs;
    QFontMetrics metrics;
    int height;
    QHash<QString, int> widths;
};

ViewMeasurer::ViewMeasurer(const ViewFonts& fonts) : m_fonts(fonts) {}

ViewMeasurer::~ViewMeasurer() = default;

void ViewMeasurer::Reset() {
    m_cache.clear();
    m_current = nullptr;
}

void ViewMeasurer::ApplyAttrs(const TFontAttrs& attrs) {
    if (m_current != nullptr && SameFont(m_current->attrs, attrs))
        return;
    auto found = std::find_if(m_cache.begin(), m_cache.end(),
                              [&](const auto& f) { return SameFont(f->attrs, attrs); });
    std::unique_ptr<CachedFont> entry;
    if (found != m_cache.end()) {
        entry = std::move(*found);
        m_cache.erase(found);
    } else {
        entry = std::make_unique<CachedFont>(attrs, m_fonts.FontFor(attrs));
        if (m_cache.size() >= kMaxFonts)
            m_cache.erase(m_cache.begin());
    }
    m_current = entry.get();
    m_cache.push_back(std::move(entry));
}

QSize ViewMeasurer::TextExtent(const QString& text) {
    if (m_current == nullptr)
        ApplyAttrs(TFontAttrs{});
    // horizontalAdvance is the pen advance, which is what lays words side by side; height is the line's.
    QHash<QString, int>& widths = m_current->widths;
    if (const auto it = widths.constFind(text); it != widths.constEnd())
        return {*it, m_current->height};
    const int width = m_current->metrics.horizontalAdvance(text);
    if (widths.size() >= kMaxWordsPerFont)
        widths.clear();
    widths.insert(text, width);
    return {width, m_current->height};
}

} // namespace tevro
