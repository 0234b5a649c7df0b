// Stand-ins for the text view when parsing without a window: a fixed-width measurer (so every width in a
// test is exact) and a view context over a plain document.
#pragma once

#include "richview/RichNodes.h"
#include "richview/RichViewContext.h"
#include "richview/TextMeasurer.h"

#include <QSet>
#include <QStringList>

namespace tevro::test {

// Every character is `charWidth` wide and every text `lineHeight` high, whatever the font.
class FixedWidthMeasurer final : public TextMeasurer {
public:
    FixedWidthMeasurer(int charWidth, int lineHeight) : m_charWidth(charWidth), m_lineHeight(lineHeight) {}

    void ApplyAttrs(const TFontAttrs& attrs) override {
        applied = attrs;
        ++applyCount;
    }
    QSize TextExtent(const QString& text) override {
        return {static_cast<int>(text.size()) * m_charWidth, m_lineHeight};
    }

    TFontAttrs applied; // the font left on the surface
    int applyCount = 0;

private:
    int m_charWidth;
    int m_lineHeight;
};

// A view of 200 pixels with 6-pixel characters, 13-pixel lines and an 8-point base font (4-pixel gaps).
// Fonts named in `installedFonts` count as installed; pictures are looked up for real.
class FakeViewContext : public RichViewContext {
public:
    FakeViewContext() : measurer(kCharWidth, kLineHeight) {
        base.BackColor = RgbColor(255, 255, 255);
        base.ForeColor = RgbColor(0, 0, 0);
        base.Name = QStringLiteral("Sans");
        base.Size = 8;
    }

    static constexpr int kCharWidth = 6;
    static constexpr int kLineHeight = 13;

    RichDocument& Document() override { return doc; }
    const TFontAttrs& BaseAttrs() const override { return base; }
    int CharWidth() const override { return kCharWidth; }
    int LineHeight() const override { return kLineHeight; }
    bool ExpandTabs() const override { return true; }
    int TabWidth() const override { return 4; }
    QStringList& Aliases() override { return aliases; }
    int ClientWidth() const override { return clientWidth; }
    TextMeasurer& Measurer() override { return measurer; }
    bool FontInstalled(const QString& name) const override {
        for (const QString& f : installedFonts) {
            if (f.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }

    RichDocument doc;
    TFontAttrs base;
    QStringList aliases;
    int clientWidth = 200;
    FixedWidthMeasurer measurer;
    QStringList installedFonts{QStringLiteral("Courier New")};
};

} // namespace tevro::test
