// The layout walk on hand-built documents: row heights, wrapping, alignment, vertical placement,
// hidden nodes and what a painting pass is asked to draw.
#include "richview/RichLayout.h"

#include <climits>
#include <gtest/gtest.h>
#include <vector>

namespace tevro {
namespace {

constexpr int kLine = 13;

// Builds documents node by node, with exact widths and heights.
class DocBuilder {
public:
    explicit DocBuilder(RichDocument& doc) : m_doc(doc) {}

    ParaNode* Para(THAlign h = THAlign::Left, TVAlign v = TVAlign::Top, int indent = 0) {
        auto p = std::make_unique<ParaNode>();
        p->HAlign = h;
        p->VAlign = v;
        p->Indent = indent;
        p->Key = ++m_key;
        p->Visible = m_visible;
        return m_doc.Append(std::move(p));
    }
    FontNode* Font(Color32 fore = RgbColor(0, 0, 0)) {
        TFontAttrs attrs;
        attrs.ForeColor = fore;
        auto f = std::make_unique<FontNode>(attrs);
        f->Key = m_key;
        f->Visible = m_visible;
        return m_doc.Append(std::move(f));
    }
    ItemNode* Item(const QString& text, int width, int height = kLine, TItemType type = TItemType::Text) {
        auto i = std::make_unique<ItemNode>();
        i->ItemType = type;
        i->Text = text;
        i->Width = width;
        i->Height = height;
        i->Key = m_key;
        i->Visible = m_visible;
        return m_doc.Append(std::move(i));
    }
    void Hidden(bool on) { m_visible = !on; }

private:
    RichDocument& m_doc;
    qint32 m_key = -1;
    bool m_visible = true;
};

struct Drawn {
    char what; // 't'ext, 'p'icture, 'r'ule
    QString text;
    int x;
    int y;
    Color32 fore;
};

// Records what a painting pass draws, and in which font colour.
class RecordingCanvas final : public LayoutCanvas {
public:
    void ApplyAttrs(const TFontAttrs& attrs) override { fore = attrs.ForeColor; }
    void DrawText(int x, int top, const ItemNode& item) override {
        drawn.push_back({'t', item.Text, x, top, fore});
    }
    void DrawPicture(int x, int top, const ItemNode& item) override {
        drawn.push_back({'p', item.Text, x, top, fore});
    }
    void DrawRule(int x, int y, const ItemNode& item) override {
        drawn.push_back({'r', item.Text, x, y, fore});
    }

    const Drawn* Find(const QString& text) const {
        for (const Drawn& d : drawn) {
            if (d.text == text)
                return &d;
        }
        return nullptr;
    }

    Color32 fore = 0;
    std::vector<Drawn> drawn;
};

LayoutMetrics View(int avail, int height = 105) {
    LayoutMetrics m;
    m.avail = avail;
    m.height = height;
    m.lineHeight = kLine;
    return m;
}

TEST(RichLayoutTest, EmptyDocumentAndEmptyParagraphs) {
    RichDocument doc;
    DocBuilder b(doc);
    EXPECT_EQ(LayoutPass(doc, View(200), nullptr), 0);

    b.Para();
    EXPECT_EQ(LayoutPass(doc, View(200), nullptr), kLine) << "a lone empty paragraph is one line";
    b.Para();
    b.Para();
    EXPECT_EQ(LayoutPass(doc, View(200), nullptr), 3 * kLine);

    b.Font();
    b.Item(QStringLiteral("tall"), 20, 30);
    EXPECT_EQ(LayoutPass(doc, View(200), nullptr), 2 * kLine + 30) << "a row is as tall as its tallest item";
}

TEST(RichLayoutTest, RowsWrapBetweenItemsAndTakeTheHeightOfTheItemThatDidNotFit) {
    RichDocument doc;
    DocBuilder b(doc);
    b.Para();
    b.Font();
    b.Item(QStringLiteral("a"), 50);
    b.Item(QStringLiteral("b"), 50);
    b.Item(QStringLiteral("c"), 40, 30); // 1 + 50 + 50 + 40 > 120: starts the next row
    b.Item(QStringLiteral("d"), 50);
    RecordingCanvas canvas;
    EXPECT_EQ(LayoutPass(doc, View(120), &canvas), 30 + 30);

    ASSERT_EQ(canvas.drawn.size(), 4U);
    EXPECT_EQ(canvas.Find(QStringLiteral("a"))->x, 1);
    EXPECT_EQ(canvas.Find(QStringLiteral("b"))->x, 51);
    EXPECT_EQ(canvas.Find(QStringLiteral("b"))->y, 0);
    EXPECT_EQ(canvas.Find(QStringLiteral("c"))->x, 1);
    EXPECT_EQ(canvas.Find(QStringLiteral("c"))->y, 30);
    EXPECT_EQ(canvas.Find(QStringLiteral("d"))->x, 41);
    EXPECT_EQ(canvas.Find(QStringLiteral("d"))->y, 30);
}

TEST(RichLayoutTest, ItemWiderThanTheViewStandsAloneAtTheIndent) {
    RichDocument doc;
    DocBuilder b(doc);
    b.Para(THAlign::Left, TVAlign::Top, 12);
    b.Font();
    b.Item(QStringLiteral("wide"), 300);
    b.Item(QStringLiteral("next"), 30);
    RecordingCanvas canvas;
    EXPECT_EQ(LayoutPass(doc, View(100), &canvas), 2 * kLine);
    EXPECT_EQ(canvas.Find(QStringLiteral("wide"))->x, 13);
    EXPECT_EQ(canvas.Find(QStringLiteral("wide"))->y, 0);
    EXPECT_EQ(canvas.Find(QStringLiteral("next"))->x, 13);
    EXPECT_EQ(canvas.Find(QStringLiteral("next"))->y, kLine);
}

TEST(RichLayoutTest, HorizontalAlignmentStartPositions) {
    constexpr int kAvail = 101;
    struct Case {
        THAlign align;
        int indent;
        int x; // where "w1" starts; the row's measured width is 1 + 20 + 10 = 31
    };
    const Case cases[] = {
        {THAlign::Left, 0, 1},
        {THAlign::Left, 7, 8},
        {THAlign::Center, 0, (kAvail - 31) / 2 + 1},
        {THAlign::Center, 6, (kAvail - 31) / 2 + 6 + 1},
        {THAlign::Right, 0, kAvail - 31 - 1},
        {THAlign::Right, 2, kAvail - 31 + 2 - 1}, // the indent is added on the right too
    };
    for (const Case& c : cases) {
        RichDocument doc;
        DocBuilder b(doc);
        b.Para(c.align, TVAlign::Top, c.indent);
        b.Font();
        b.Item(QStringLiteral("w1"), 20);
        b.Item(QStringLiteral("w2"), 10);
        RecordingCanvas canvas;
        LayoutPass(doc, View(kAvail), &canvas);
        ASSERT_EQ(canvas.drawn.size(), 2U);
        EXPECT_EQ(canvas.drawn[0].x, c.x) << "align " << int(c.align) << " indent " << c.indent;
        EXPECT_EQ(canvas.drawn[1].x, c.x + 20);
    }
}

TEST(RichLayoutTest, RowsPlaceWhatTheyMeasuredWhereverTheyStart) {
    // Started at Avail - RowW + Indent - 1, a row ends past the edge; it still holds what it measured
    // instead of leaving it to be measured again with the rest of the paragraph.
    RichDocument doc;
    DocBuilder b(doc);
    b.Para(THAlign::Right, TVAlign::Top, 40);
    b.Font();
    b.Item(QStringLiteral("one"), 30);
    b.Item(QStringLiteral("two"), 30);
    // Centred items of negative width (a picture found nowhere is -1) all fit in one row, which must
    // hold them all, although the row then starts far right.
    b.Para(THAlign::Center);
    b.Font();
    for (int i = 0; i < 50; ++i)
        b.Item(QStringLiteral("rule"), -1, kLine, TItemType::Rule);
    RecordingCanvas canvas;
    EXPECT_EQ(LayoutPass(doc, View(100), &canvas), 3 * kLine);
    ASSERT_EQ(canvas.drawn.size(), 52U);
    EXPECT_EQ(canvas.Find(QStringLiteral("one"))->y, 0);
    EXPECT_EQ(canvas.Find(QStringLiteral("two"))->y, kLine);
    EXPECT_EQ(canvas.drawn.back().y, 2 * kLine + kLine / 2);
}

TEST(RichLayoutTest, VerticalAlignmentInARowMadeTallByAPicture) {
    for (const auto& [valign, textTop] :
         {std::pair{TVAlign::Top, 0}, std::pair{TVAlign::Middle, (40 - kLine) / 2},
          std::pair{TVAlign::Bottom, 40 - kLine}}) {
        RichDocument doc;
        DocBuilder b(doc);
        b.Para();
        b.Font();
        b.Item(QStringLiteral("above"), 20);
        b.Para(THAlign::Left, valign);
        b.Font();
        b.Item(QStringLiteral("word"), 20);
        b.Item(QStringLiteral("pic.bmp"), 32, 40, TItemType::Picture);
        RecordingCanvas canvas;
        EXPECT_EQ(LayoutPass(doc, View(200), &canvas), kLine + 40);
        EXPECT_EQ(canvas.Find(QStringLiteral("word"))->y, kLine + textTop);
        EXPECT_EQ(canvas.Find(QStringLiteral("pic.bmp"))->y, kLine) << "pictures sit on the row's bottom";
    }
}

TEST(RichLayoutTest, RulesAndEmptyItems) {
    RichDocument doc;
    DocBuilder b(doc);
    b.Para();
    b.Font(RgbColor(255, 0, 0));
    b.Item(QString(), 24);     // a tab gap
    b.Item(QString(), -1, -1); // a tab that went backwards: draws nothing, takes -1
    b.Item(QString(QChar(2)), 100, kLine, TItemType::Rule);
    b.Item(QString(), -1, -1, TItemType::Picture); // a picture found nowhere
    RecordingCanvas canvas;
    EXPECT_EQ(LayoutPass(doc, View(200), &canvas), kLine);
    ASSERT_EQ(canvas.drawn.size(), 1U);
    EXPECT_EQ(canvas.drawn[0].what, 'r');
    EXPECT_EQ(canvas.drawn[0].x, 1 + 24 - 1);
    EXPECT_EQ(canvas.drawn[0].y, kLine / 2);
    EXPECT_EQ(canvas.drawn[0].fore, RgbColor(255, 0, 0)) << "a rule takes its font's colour";
}

TEST(RichLayoutTest, HiddenNodes) {
    RichDocument doc;
    DocBuilder b(doc);
    // A hidden paragraph before any visible one: its visible words lay out as a plain paragraph.
    b.Hidden(true);
    b.Para(THAlign::Center, TVAlign::Top, 30);
    b.Font();
    b.Item(QStringLiteral("secret"), 20);
    b.Hidden(false);
    b.Item(QStringLiteral("shown"), 20);
    b.Hidden(true);
    b.Item(QStringLiteral("inrow"), 20); // hidden, but inside a row that began visibly
    b.Para();
    b.Font();
    b.Item(QStringLiteral("gone"), 20);

    RecordingCanvas canvas;
    EXPECT_EQ(LayoutPass(doc, View(200), &canvas), kLine);
    ASSERT_EQ(canvas.drawn.size(), 2U);
    EXPECT_EQ(canvas.Find(QStringLiteral("shown"))->x, 1);
    EXPECT_EQ(canvas.Find(QStringLiteral("inrow"))->x, 21);

    LayoutMetrics all = View(200);
    all.showHidden = true;
    RecordingCanvas everything;
    EXPECT_EQ(LayoutPass(doc, all, &everything), 2 * kLine);
    EXPECT_EQ(everything.drawn.size(), 4U);
    EXPECT_EQ(everything.Find(QStringLiteral("secret"))->x, (200 - 61) / 2 + 30 + 1);
}

TEST(RichLayoutTest, OnlyTheVisibleBandIsDrawnAndSkippedFontsCarryOver) {
    RichDocument doc;
    DocBuilder b(doc);
    for (int i = 0; i < 20; ++i) {
        b.Para();
        b.Font(RgbColor(i, 0, 0));
        b.Item(QStringLiteral("w%1").arg(i), 20);
        b.Font(RgbColor(i, 1, 0)); // a font change at the end of the row, after its last word
    }
    LayoutMetrics m = View(200, 3 * kLine);
    m.pos = 10 * kLine;
    RecordingCanvas canvas;
    EXPECT_EQ(LayoutPass(doc, m, &canvas), 20 * kLine);

    // Rows 9 (partly, its bottom touches the band) to 13 (its top on the lower edge) are drawn.
    std::vector<QString> words;
    for (const Drawn& d : canvas.drawn)
        words.push_back(d.text);
    EXPECT_EQ(words, (std::vector<QString>{QStringLiteral("w9"), QStringLiteral("w10"), QStringLiteral("w11"),
                                           QStringLiteral("w12"), QStringLiteral("w13")}));
    EXPECT_EQ(canvas.Find(QStringLiteral("w10"))->y, 0);
    EXPECT_EQ(canvas.Find(QStringLiteral("w9"))->y, -kLine);
    EXPECT_EQ(canvas.Find(QStringLiteral("w11"))->fore, RgbColor(11, 0, 0));
}

TEST(RichLayoutTest, AbsurdSizesNeitherOverflowNorHang) {
    RichDocument doc;
    DocBuilder b(doc);
    b.Para(THAlign::Center, TVAlign::Middle, INT_MAX);
    b.Font();
    b.Item(QStringLiteral("x"), INT_MAX, INT_MAX);
    b.Item(QStringLiteral("y"), INT_MAX, 10);
    b.Para(THAlign::Right, TVAlign::Bottom, INT_MIN);
    b.Font();
    b.Item(QStringLiteral("z"), INT_MIN, INT_MAX);
    RecordingCanvas canvas;
    EXPECT_EQ(LayoutPass(doc, View(100), &canvas), INT_MAX);
}

} // namespace
} // namespace tevro
