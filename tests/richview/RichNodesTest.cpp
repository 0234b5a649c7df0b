// The document list, the font mapping and the look-ups the parser shares with the view.
#include "richview/RichNodes.h"

#include "richview/RichViewContext.h"
#include "richview/TextMeasurer.h"

#include <QFontDatabase>
#include <gtest/gtest.h>
#include <vector>

using namespace tevro;

namespace {

// One node per key given, items carrying their original position as text.
void Fill(RichDocument& doc, const std::vector<qint32>& keys) {
    int i = 0;
    for (qint32 key : keys) {
        auto item = std::make_unique<ItemNode>();
        item->Key = key;
        item->Text = QString::number(i++);
        doc.Append(std::move(item));
    }
}

std::vector<std::pair<qint32, QString>> Contents(const RichDocument& doc) {
    std::vector<std::pair<qint32, QString>> out;
    for (const Node* n = doc.Head(); n; n = n->Next)
        out.emplace_back(n->Key, AsItem(n)->Text);
    return out;
}

using Pairs = std::vector<std::pair<qint32, QString>>;

} // namespace

TEST(RichDocumentTest, RemoveParagraphRenumbersTheRest) {
    RichDocument doc;
    EXPECT_EQ(doc.LastKey(), -1);
    Fill(doc, {0, 0, 1, 2, 2});
    EXPECT_EQ(doc.Count(), 5);

    EXPECT_EQ(doc.RemoveParagraph(0), 2);
    EXPECT_EQ(Contents(doc), (Pairs{{0, u"2"_qs}, {1, u"3"_qs}, {1, u"4"_qs}}));
    EXPECT_EQ(doc.LastKey(), 1);

    EXPECT_EQ(doc.RemoveParagraph(7), 0);
    EXPECT_EQ(doc.Count(), 3);

    EXPECT_EQ(doc.RemoveParagraph(1), 2); // the tail run
    EXPECT_EQ(Contents(doc), (Pairs{{0, u"2"_qs}}));
    EXPECT_EQ(doc.Tail(), doc.Head());

    EXPECT_EQ(doc.RemoveParagraph(0), 1);
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_EQ(doc.Tail(), nullptr);
    EXPECT_EQ(doc.Count(), 0);
}

TEST(RichDocumentTest, RemoveParagraphInTheMiddleKeepsTheTail) {
    RichDocument doc;
    Fill(doc, {0, 1, 1, 2});
    EXPECT_EQ(doc.RemoveParagraph(1), 2);
    EXPECT_EQ(Contents(doc), (Pairs{{0, u"0"_qs}, {1, u"3"_qs}}));
    EXPECT_EQ(AsItem(doc.Tail())->Text, u"3");
    Fill(doc, {2}); // appending after a removal links at the right place
    EXPECT_EQ(doc.Count(), 3);
}

TEST(RichDocumentTest, ClearFreesLongDocumentsWithoutRecursion) {
    RichDocument doc;
    for (int i = 0; i < 200000; ++i)
        doc.Append(std::make_unique<ParaNode>());
    doc.Clear();
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_EQ(doc.LastKey(), -1);
}

TEST(FontFromAttrsTest, MapsStylesPitchAndHoldsTheSize) {
    TFontAttrs attrs;
    attrs.Name = QStringLiteral("dejavu sans");
    attrs.Size = 12;
    attrs.Style = fsBold | fsUnderline;
    attrs.Pitch = fpFixed;
    QFont font = FontFromAttrs(attrs);
    EXPECT_EQ(font.family(), u"dejavu sans");
    EXPECT_EQ(font.pointSize(), 12);
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.underline());
    EXPECT_FALSE(font.italic());
    EXPECT_TRUE(font.fixedPitch());

    attrs.Size = 1000000;
    EXPECT_EQ(FontFromAttrs(attrs).pointSize(), 512);
    attrs.Size = 0;
    EXPECT_EQ(FontFromAttrs(attrs).pointSize(), QFont().pointSize());
}

TEST(ViewMeasurerTest, MeasuresInTheAppliedFont) {
    ViewFonts fonts;
    ViewMeasurer measurer(fonts);
    TFontAttrs attrs;
    attrs.Size = 10;
    measurer.ApplyAttrs(attrs);
    const QSize small = measurer.TextExtent(QStringLiteral("Tevro"));
    EXPECT_GT(small.width(), 0);
    EXPECT_GT(small.height(), 0);
    attrs.Size = 30;
    measurer.ApplyAttrs(attrs);
    EXPECT_GT(measurer.TextExtent(QStringLiteral("Tevro")).width(), small.width());
}

TEST(LookUpTest, InstalledFontsCompareWithoutCase) {
    const QStringList families = QFontDatabase::families();
    if (families.isEmpty())
        GTEST_SKIP() << "no fonts installed";
    EXPECT_TRUE(IsInstalledFont(families.first().toUpper()));
    EXPECT_FALSE(IsInstalledFont(QStringLiteral("no such face 1234")));
    EXPECT_FALSE(IsInstalledFont(QString()));
    EXPECT_FALSE(FindPicture(QString()).has_value());
    EXPECT_FALSE(FindPicture(QStringLiteral("no/such/folder/pic.bmp")).has_value());
}

TEST(ViewMeasurerTest, KeptWidthsMatchFreshOnesAcrossFontChanges) {
    ViewFonts fonts;
    ViewMeasurer measurer(fonts);
    // Revisit fonts and words in turn, with more fonts than are kept at once.
    for (int round = 0; round < 3; ++round) {
        for (int size = 6; size < 18; ++size) {
            TFontAttrs attrs;
            attrs.Size = size;
            attrs.Style = (size % 2) ? TFontStyles() : TFontStyles(fsBold);
            measurer.ApplyAttrs(attrs);
            const QFontMetrics direct(fonts.FontFor(attrs));
            for (const QString& word :
                 {QStringLiteral("Try"), QStringLiteral("W"), QStringLiteral("RecvFrom()")})
                EXPECT_EQ(measurer.TextExtent(word), QSize(direct.horizontalAdvance(word), direct.height()));
        }
    }
}
