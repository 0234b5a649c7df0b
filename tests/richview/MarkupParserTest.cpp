// The markup parser: tokens, value conversions and the nodes that lines turn into.
#include "richview/MarkupParser.h"

#include "support/RichViewFakes.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace tevro;
using tevro::test::FakeViewContext;

namespace {

// The document in short: P paragraph, F font, [text]width item; ~ marks a hidden node.
std::string Dump(const RichDocument& doc) {
    QString out;
    for (const Node* n = doc.Head(); n; n = n->Next) {
        if (!out.isEmpty())
            out += u' ';
        if (!n->Visible)
            out += u'~';
        if (AsPara(n))
            out += u'P';
        else if (AsFont(n))
            out += u'F';
        else if (const ItemNode* item = AsItem(n))
            out += u'[' + item->Text + u']' + QString::number(item->Width);
    }
    return out.toStdString();
}

std::vector<const Node*> Nodes(const RichDocument& doc) {
    std::vector<const Node*> nodes;
    for (const Node* n = doc.Head(); n; n = n->Next)
        nodes.push_back(n);
    return nodes;
}

const ItemNode* ItemAt(const RichDocument& doc, size_t index) {
    return AsItem(Nodes(doc).at(index));
}
const FontNode* FontAt(const RichDocument& doc, size_t index) {
    return AsFont(Nodes(doc).at(index));
}
const ParaNode* ParaAt(const RichDocument& doc, size_t index) {
    return AsPara(Nodes(doc).at(index));
}

class ParseLineTest : public ::testing::Test {
protected:
    std::string Parse(const QString& line) {
        ParseLine(view, line);
        return Dump(view.doc);
    }
    FakeViewContext view;
};

QString Nbsp(const char* text) {
    return QChar(0xA0) + QString::fromLatin1(text) + QChar(0xA0);
}

} // namespace

// ---- tokenizer -------------------------------------------------------------------------------------

TEST(NextTokenTest, SkipsAndCountsBlanksThenTakesOneDelimiterOrARun) {
    TokenInput in{QStringLiteral("   word<next")};
    int skipped = -1;
    EXPECT_EQ(NextToken(in, TDelimiters::Content, false, {}, &skipped), u"word");
    EXPECT_EQ(skipped, 3);
    EXPECT_EQ(NextToken(in, TDelimiters::Content, false, {}, &skipped), u"<");
    EXPECT_EQ(skipped, 0);
    EXPECT_EQ(NextToken(in, TDelimiters::Content, false, {}, &skipped), u"next");
    EXPECT_EQ(NextToken(in, TDelimiters::Content, false, {}, &skipped), u"");
    EXPECT_TRUE(in.AtEnd());
}

TEST(NextTokenTest, LongWordsComeOutInPiecesOf79) {
    TokenInput in{QString(100, u'w')};
    EXPECT_EQ(NextToken(in, TDelimiters::Content, false, {}).size(), 79);
    EXPECT_EQ(NextToken(in, TDelimiters::Content, false, {}).size(), 21);

    // A character outside the basic plane is not cut in half at the limit.
    const QString emoji = QString::fromUtf8("\U0001F600");
    TokenInput pairs{QString(78, u'a') + emoji + QStringLiteral("b")};
    EXPECT_EQ(NextToken(pairs, TDelimiters::Content, false, {}), QString(78, u'a'));
    EXPECT_EQ(NextToken(pairs, TDelimiters::Content, false, {}), emoji + u'b');
}

TEST(NextTokenTest, QuoteModeProtectsDelimitersAndDropsOuterQuotes) {
    TokenInput in{QStringLiteral("\"a b>c\">x")};
    EXPECT_EQ(NextToken(in, TDelimiters::TagWord, true, {}), u"a b>c");
    EXPECT_EQ(NextToken(in, TDelimiters::TagWord, true, {}), u">");

    TokenInput lone{QStringLiteral("\"")};
    EXPECT_EQ(NextToken(lone, TDelimiters::TagWord, true, {}), u"");

    // Without quote mode a double quote is an ordinary character.
    TokenInput plain{QStringLiteral("\"a b\"")};
    EXPECT_EQ(NextToken(plain, TDelimiters::TagWord, false, {}), u"\"a");
}

TEST(NextTokenTest, TabIsAlwaysADelimiterAndBecomesBlanks) {
    TokenInput in{QStringLiteral("a\tb")};
    EXPECT_EQ(NextToken(in, TDelimiters::Equals, false, {}), u"a");
    EXPECT_EQ(NextToken(in, TDelimiters::Equals, false, {}), u"    ");
    EXPECT_EQ(NextToken(in, TDelimiters::Equals, false, {}), u"b");

    TokenInput off{QStringLiteral("a\tb")};
    EXPECT_EQ(NextToken(off, TDelimiters::Equals, false, {false, 4}), u"a\tb");
}

// ---- value conversions ----------------------------------------------------------------------------

TEST(IntOrDefaultTest, AcceptsThePlatformsLenientForms) {
    EXPECT_EQ(IntOrDefault(u"  12", 0), 12);
    EXPECT_EQ(IntOrDefault(u"+5", 0), 5);
    EXPECT_EQ(IntOrDefault(u"-7", 0), -7);
    EXPECT_EQ(IntOrDefault(u"$1F", 0), 31);
    EXPECT_EQ(IntOrDefault(u"x1f", 0), 31);
    EXPECT_EQ(IntOrDefault(u"0X1f", 0), 31);
    EXPECT_EQ(IntOrDefault(u"-$10", 0), -16);
    EXPECT_EQ(IntOrDefault(u"$FFFFFFFF", 0), -1);
    EXPECT_EQ(IntOrDefault(u"2147483647", 0), std::numeric_limits<int>::max());
    EXPECT_EQ(IntOrDefault(u"-2147483648", 0), std::numeric_limits<int>::min());
}

TEST(IntOrDefaultTest, AnythingElseGivesTheDefault) {
    for (const char16_t* text : {u"", u"  ", u"12 ", u"1.5", u"abc", u"-", u"$", u"0x", u"2147483648",
                                 u"-2147483649", u"$100000000", u"1e3"})
        EXPECT_EQ(IntOrDefault(QStringView(text), 99), 99) << QString::fromUtf16(text).toStdString();
}

TEST(ParseColorTest, ThreeNumbersJoinedByFullStops) {
    const Color32 fallback = RgbColor(9, 9, 9);
    EXPECT_EQ(ParseColor(QStringLiteral("255.128.0"), fallback), RgbColor(255, 128, 0));
    EXPECT_EQ(ParseColor(QStringLiteral("0.0.204"), fallback), 204u * 65536u);
    EXPECT_EQ(ParseColor(QStringLiteral("1.2.3.4"), fallback), RgbColor(1, 2, 3));
    EXPECT_EQ(ParseColor(QStringLiteral("300.0.0"), fallback), RgbColor(44, 0, 0));
    EXPECT_EQ(ParseColor(QStringLiteral("-1.0.0"), fallback), fallback);
    EXPECT_EQ(ParseColor(QStringLiteral("red"), fallback), fallback);
    EXPECT_EQ(ParseColor(QStringLiteral("1.2"), fallback), fallback);
    EXPECT_EQ(ParseColor(QString(), fallback), fallback);
}

// ---- lines, paragraphs and words ------------------------------------------------------------------

TEST_F(ParseLineTest, EmptyLinesAndTagOnlyLinesAddNoParagraph) {
    EXPECT_EQ(Parse(QString()), "");
    EXPECT_EQ(Parse(QStringLiteral("   ")), "");
    EXPECT_EQ(Parse(QStringLiteral("<h><nlb><x y>")), "");
    EXPECT_EQ(Parse(QStringLiteral("<p>")), "P");
    EXPECT_EQ(view.doc.Count(), 1);
}

TEST_F(ParseLineTest, WordsAreItemsSpacedByHalfTheBaseSizeExceptTheLast) {
    // 6 px per character; gap 8 div 2 = 4 after every item but the line's last.
    EXPECT_EQ(Parse(QStringLiteral("  Hello   big world ")), "P F [Hello]34 [big]22 [world]30");
    EXPECT_EQ(FontAt(view.doc, 1)->Attrs, view.base);
}

TEST_F(ParseLineTest, RightAlignedParagraphsSpaceTheirLastItemToo) {
    Parse(QStringLiteral("<p align=right>a b"));
    EXPECT_EQ(Dump(view.doc), "P F [a]10 [b]10");
    view.doc.Clear();
    Parse(QStringLiteral("<p align=right>a<p>b c"));
    EXPECT_EQ(Dump(view.doc), "P F [a]10 P [b]10 [c]6");
}

TEST_F(ParseLineTest, ParagraphNumbersContinueAcrossLines) {
    Parse(QStringLiteral("one"));
    Parse(QStringLiteral("<p>two<p>three"));
    Parse(QStringLiteral("<h>"));
    Parse(QStringLiteral("four"));
    std::vector<qint32> keys;
    for (const Node* n : Nodes(view.doc)) {
        if (AsPara(n))
            keys.push_back(n->Key);
    }
    EXPECT_EQ(keys, (std::vector<qint32>{0, 1, 2, 3}));
    EXPECT_EQ(view.doc.Tail()->Key, 3);
}

TEST_F(ParseLineTest, HundredCharacterWordBecomesTwoSpacedItems) {
    EXPECT_EQ(Parse(QString(100, u'x')),
              "P F [" + std::string(79, 'x') + "]478 [" + std::string(21, 'x') + "]126");
}

TEST_F(ParseLineTest, ReportLineIndentsItsParagraph) {
    EXPECT_EQ(Parse(QStringLiteral("<p tab=12>## ")), "P F [##]12");
    EXPECT_EQ(ParaAt(view.doc, 0)->Indent, 12);
}

TEST_F(ParseLineTest, ParagraphAttributes) {
    Parse(QStringLiteral("<P HALIGN=\"Center\" valign=\"middle\" ident=$10>"));
    const ParaNode* p = ParaAt(view.doc, 0);
    EXPECT_EQ(p->HAlign, THAlign::Center);
    EXPECT_EQ(p->VAlign, TVAlign::Middle);
    EXPECT_EQ(p->Indent, 16);

    // Unknown values leave what is there; an indent that does not convert (or is -1) is ignored.
    Parse(QStringLiteral("<para layout=bottom align=justify tab=-1 colour=1>"));
    p = ParaAt(view.doc, 1);
    EXPECT_EQ(p->HAlign, THAlign::Left);
    EXPECT_EQ(p->VAlign, TVAlign::Bottom);
    EXPECT_EQ(p->Indent, 0);
}

TEST_F(ParseLineTest, EntitiesTurnIntoAngleBracketsInTextOnly) {
    EXPECT_EQ(Parse(QStringLiteral("&gt#x&lt# &GT#y&Lt#")), "P F [<x>]22 [<y>]18");
    view.doc.Clear();
    Parse(QStringLiteral("Select &gt#Close&lt# to enable the alert"));
    EXPECT_EQ(ItemAt(view.doc, 3)->Text, u"<Close>");
    view.doc.Clear();
    // Inside an attribute value they stay as written.
    Parse(QStringLiteral("<f hr=\"&gt#\">"));
    EXPECT_EQ(ItemAt(view.doc, 2)->Text, u"&gt#");
}

TEST_F(ParseLineTest, LessThanSignsThatOpenNoTag) {
    EXPECT_EQ(Parse(QStringLiteral("a<<p>b")), "P F [a]10 [<]6 P [b]6");
    view.doc.Clear();
    EXPECT_EQ(Parse(QStringLiteral("x <")), "P F [x]10 [<]6");
    view.doc.Clear();
    EXPECT_EQ(Parse(QStringLiteral("<")), "P F [<]6");
    view.doc.Clear();
    EXPECT_EQ(Parse(QStringLiteral("x <   ")), "P F [x]10 [<]6");
}

TEST_F(ParseLineTest, TabCharactersBecomeFourBlankItems) {
    EXPECT_EQ(Parse(QStringLiteral("a\tb")), "P F [a]10 [    ]28 [b]6");
}

// ---- fonts ------------------------------------------------------------------------------------------

TEST_F(ParseLineTest, FontsNeverCarryOver) {
    Parse(QStringLiteral("<f style=\"bold\">a<f>b"));
    Parse(QStringLiteral("c"));
    const auto nodes = Nodes(view.doc);
    ASSERT_EQ(Dump(view.doc), "P F [a]10 F [b]6 P F [c]6");
    EXPECT_EQ(AsFont(nodes[1])->Attrs.Style, TFontStyles(fsBold));
    EXPECT_EQ(AsFont(nodes[3])->Attrs, view.base);
    EXPECT_EQ(AsFont(nodes[6])->Attrs, view.base);
    // The text that follows a paragraph tag keeps the line's font.
    view.doc.Clear();
    EXPECT_EQ(Parse(QStringLiteral("<f size=12>a<p>b")), "P F [a]6 P [b]6");
}

TEST_F(ParseLineTest, FontAttributes) {
    Parse(QStringLiteral("<font Color=\"255.128.0\" back-color=0.0.204 size=12 style=bold style=ITALIC "
                         "style=blink pitch=fixed name=\"COURIER NEW\">x"));
    const TFontAttrs& a = FontAt(view.doc, 1)->Attrs;
    EXPECT_EQ(a.ForeColor, RgbColor(255, 128, 0));
    EXPECT_EQ(a.BackColor, RgbColor(0, 0, 204));
    EXPECT_EQ(a.Size, 12);
    EXPECT_EQ(a.Style, fsBold | fsItalic | fsStrikeOut);
    EXPECT_EQ(a.Pitch, fpFixed);
    EXPECT_EQ(a.Name, u"courier new");
    EXPECT_EQ(view.measurer.applied, a); // the surface keeps the last font measured with
}

TEST_F(ParseLineTest, FontValuesThatDoNotConvertKeepTheBase) {
    Parse(QStringLiteral("<f color=red bgcolor=-1.0.0 size=-1 size=big name=\"No Such Face\" pitch=wide>x"));
    TFontAttrs expected = view.base;
    EXPECT_EQ(FontAt(view.doc, 1)->Attrs, expected);
}

TEST_F(ParseLineTest, AttributeWithoutEqualsSwallowsUpToTheNextEquals) {
    // The name runs to the "=", so "style bold size" is one unknown name and the size is lost.
    Parse(QStringLiteral("<f style bold size=12>x"));
    EXPECT_EQ(FontAt(view.doc, 1)->Attrs, view.base);
    view.doc.Clear();
    // "style bold" has no "=": the token read in its place takes ">x" with it.
    EXPECT_EQ(Parse(QStringLiteral("<f size=12 style bold>x")), "P F");
    const TFontAttrs& a = FontAt(view.doc, 1)->Attrs;
    EXPECT_EQ(a.Style, TFontStyles());
    EXPECT_EQ(a.Size, 12);
}

TEST_F(ParseLineTest, UnterminatedTagEndsWithTheLine) {
    EXPECT_EQ(Parse(QStringLiteral("a <f color=\"1.2.3")), "P F [a]10 F");
    EXPECT_EQ(FontAt(view.doc, 3)->Attrs.ForeColor, view.base.ForeColor);
}

// ---- the system's own lines -------------------------------------------------------------------------

TEST_F(ParseLineTest, LogEntryHeadIsOneLabelOnAColouredCell) {
    const QString line = u"<f style=\"bold\" color=\"255.255.255\" bgcolor=\"255.0.0\">" + Nbsp("(FAILED)") +
                         u"<f> <f style=\"bold\">01.02.2026<f> (13:14:15): gateway [192.0.2.7]:";
    const std::string expected = "P F [" + Nbsp("(FAILED)").toStdString() + "]64 F F [01.02.2026]64 F " +
                                 "[(13:14:15):]70 [gateway]46 [[192.0.2.7]:]72";
    EXPECT_EQ(Parse(line), expected);
    const TFontAttrs& head = FontAt(view.doc, 1)->Attrs;
    EXPECT_EQ(head.Style, TFontStyles(fsBold));
    EXPECT_EQ(head.ForeColor, RgbColor(255, 255, 255));
    EXPECT_EQ(head.BackColor, RgbColor(255, 0, 0));
    EXPECT_EQ(FontAt(view.doc, 3)->Attrs, view.base);
}

TEST_F(ParseLineTest, ReportContinuationLines) {
    Parse(QStringLiteral("<p tab=12>## Try #1: successful, DataSize=32, TTL=52, Time=40 ms."));
    const auto nodes = Nodes(view.doc);
    EXPECT_EQ(AsPara(nodes[0])->Indent, 12);
    EXPECT_EQ(AsItem(nodes[2])->Text, u"##");
    EXPECT_EQ(AsItem(nodes.back())->Text, u"ms.");
    EXPECT_EQ(nodes.size(), 2u + 8u);
}

TEST_F(ParseLineTest, HelpPageIconLineFindsTheIconAmongTheResources) {
    Parse(QStringLiteral("<p halign=\"center\" valign=\"middle\"><f style=\"bold\">:::::<f><f "
                         "pic=\"Help_Icon\"><f><f style=\"bold\">:::::<f>"));
    EXPECT_EQ(Dump(view.doc), "P F [:::::]34 F F [help_icon]36 F F [:::::]34 F");
    EXPECT_EQ(ParaAt(view.doc, 0)->HAlign, THAlign::Center);
    EXPECT_EQ(ParaAt(view.doc, 0)->VAlign, TVAlign::Middle);
    EXPECT_EQ(ItemAt(view.doc, 5)->ItemType, TItemType::Picture);
    EXPECT_EQ(ItemAt(view.doc, 5)->Height, 32);
}

// ---- pictures, rules, tabs ----------------------------------------------------------------------------

TEST_F(ParseLineTest, PicturesFromFilesAnyCaseOrNowhere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QImage(20, 10, QImage::Format_RGB32).save(dir.filePath(QStringLiteral("Logo.bmp"))));
    QFile notAPicture(dir.filePath(QStringLiteral("text.bmp")));
    ASSERT_TRUE(notAPicture.open(QIODevice::WriteOnly));
    notAPicture.write(QByteArray(100, 'x'));
    notAPicture.close();
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    Parse(
        QStringLiteral("<f pic=\"Logo.bmp\" pic=logo.bmp,1 pic=logo.bmp,0 pic=missing.bmp,1 pic=text.bmp>"));
    QDir::setCurrent(previous);

    const auto nodes = Nodes(view.doc);
    ASSERT_EQ(nodes.size(), 7u);
    const ItemNode* plain = AsItem(nodes[2]);
    EXPECT_EQ(plain->ItemType, TItemType::Picture);
    EXPECT_EQ(plain->Text, u"logo.bmp");
    EXPECT_EQ(plain->Width, 20 + 4);
    EXPECT_EQ(plain->Height, 10);
    EXPECT_EQ(AsItem(nodes[3])->ItemType, TItemType::TransparentPicture);
    EXPECT_EQ(AsItem(nodes[4])->ItemType, TItemType::Picture);
    for (const Node* n : {nodes[5], nodes[6]}) {
        const ItemNode* gone = AsItem(n);
        EXPECT_TRUE(gone->Text.isEmpty());
        EXPECT_EQ(gone->Height, -1);
    }
    EXPECT_EQ(AsItem(nodes[5])->ItemType, TItemType::TransparentPicture);
    EXPECT_EQ(AsItem(nodes[6])->Width, -1); // the line's last item gets no spacing
}

TEST_F(ParseLineTest, RuleWidthsFromTheClientWidth) {
    view.clientWidth = 201;
    Parse(QStringLiteral("<f hr=50% hr=\"50%,2\" hr=120 hr=wide hr=\"30,300\" hr=\"x%\">"));
    const auto nodes = Nodes(view.doc);
    ASSERT_EQ(nodes.size(), 8u);
    std::vector<int> widths;
    for (size_t i = 2; i < nodes.size(); ++i) {
        const ItemNode* rule = AsItem(nodes[i]);
        EXPECT_EQ(rule->ItemType, TItemType::Rule);
        EXPECT_EQ(rule->Height, FakeViewContext::kLineHeight);
        widths.push_back(rule->Width);
    }
    // 100.5 rounds to the even 100; spacing 4 on all but the last.
    EXPECT_EQ(widths, (std::vector<int>{104, 104, 124, 205, 34, 201}));
    EXPECT_EQ(AsItem(nodes[2])->Text, u"50%");
    EXPECT_EQ(AsItem(nodes[3])->Text, QString(QChar(2)));
    EXPECT_EQ(AsItem(nodes[6])->Text, QString(QChar(300 - 256)));

    view.doc.Clear();
    view.clientWidth = 203; // 101.5 rounds to the even 102
    Parse(QStringLiteral("<f hr=50%>"));
    EXPECT_EQ(ItemAt(view.doc, 2)->Width, 102);
}

TEST_F(ParseLineTest, TabAdvancesFromTheLineStartWithoutSpacing) {
    // "ab" is 12 wide (16 with its gap); the tab fills 40 - 12.
    EXPECT_EQ(Parse(QStringLiteral("ab<tab x=40>c")), "P F [ab]16 []32 [c]6");
    EXPECT_EQ(ItemAt(view.doc, 3)->Height, FakeViewContext::kLineHeight);
    view.doc.Clear();
    // Backwards, or a value that does not convert: an item with the defaults.
    EXPECT_EQ(Parse(QStringLiteral("abcdef<tab x=10>g<tab x=no>h")), "P F [abcdef]40 []3 [g]10 []3 [h]6");
    EXPECT_EQ(ItemAt(view.doc, 3)->Height, -1);
}

TEST_F(ParseLineTest, HugeWidthsDoNotOverflow) {
    constexpr qint32 kMax = std::numeric_limits<qint32>::max();
    Parse(QStringLiteral("<f hr=2147483647 hr=\"$7FFFFFFF%\">"));
    EXPECT_EQ(ItemAt(view.doc, 2)->Width, kMax); // its gap does not wrap it round
    EXPECT_EQ(ItemAt(view.doc, 3)->Width, kMax);
    view.doc.Clear();
    // A rule never runs backwards: a negative width is none.
    Parse(QStringLiteral("<f hr=-2147483648 hr=-100><tab x=2147483647>"));
    EXPECT_EQ(ItemAt(view.doc, 2)->Width, 0 + 4);
    EXPECT_EQ(ItemAt(view.doc, 3)->Width, 0 + 4);
    EXPECT_EQ(ItemAt(view.doc, 4)->Width, kMax);
}

// ---- modes ----------------------------------------------------------------------------------------

TEST_F(ParseLineTest, NlbKeepsBlanksAndABlankBeforeLessThanShowsTheTag) {
    EXPECT_EQ(Parse(QStringLiteral("<nlb>two words <f>x<nlb> y z")), "P F [two words ]64 F [x]10 [y]10 [z]6");
    view.doc.Clear();
    EXPECT_EQ(Parse(QStringLiteral("<nlb> <f>x")), "P F [ <]16 [f>x]18");
    view.doc.Clear();
    // Only up to 20 blanks in front are kept, and the whole run stays in the item.
    const QString word(79, u'w');
    Parse(u"<nlb>" + QString(30, u' ') + word);
    EXPECT_EQ(ItemAt(view.doc, 2)->Text, QString(20, u' ') + word);
}

TEST_F(ParseLineTest, HiddenMarkLastsToTheNextHOrTheLineEnd) {
    EXPECT_EQ(Parse(QStringLiteral("a<h>b<hidden>c")), "P F [a]10 ~[b]10 [c]6");
    Parse(QStringLiteral("<h>d"));
    Parse(QStringLiteral("e"));
    EXPECT_EQ(Dump(view.doc), "P F [a]10 ~[b]10 [c]6 ~P ~F ~[d]6 P F [e]6");
}

TEST_F(ParseLineTest, UnrecognisedTagsAreSkipped) {
    EXPECT_EQ(Parse(QStringLiteral("a<b x=1>c")), "P F [a]10 [c]6");
    view.doc.Clear();
    // Without an attribute the skip takes the text up to the next ">" with it; closing tags are no
    // different.
    EXPECT_EQ(Parse(QStringLiteral("<b>lost words>kept")), "P F [>kept]30");
    view.doc.Clear();
    EXPECT_EQ(Parse(QStringLiteral("a</f>b c>d")), "P F [a]10 [>d]12");
}

// ---- macros -----------------------------------------------------------------------------------------

TEST_F(ParseLineTest, MacrosDefineUseAndRemove) {
    Parse(QStringLiteral("<a name=Greet>Hello <f style=bold>World"));
    EXPECT_EQ(view.doc.Count(), 0);
    EXPECT_EQ(view.aliases, QStringList{QStringLiteral("greet=Hello <f style=bold>World")});

    Parse(QStringLiteral("<a x=greet>Other text"));
    EXPECT_EQ(view.aliases.size(), 1); // defined twice: the first text stays

    EXPECT_EQ(Parse(QStringLiteral("Say <a x=#GREET#>!")), "P F [Say]22 [Hello]34 F [World!]36");
    EXPECT_EQ(FontAt(view.doc, 4)->Attrs.Style, TFontStyles(fsBold));

    Parse(QStringLiteral("<a x=other>second"));
    Parse(QStringLiteral("<a x=greet>"));
    EXPECT_EQ(view.aliases, QStringList{QStringLiteral("other=second")});
    Parse(QStringLiteral("<a>"));
    EXPECT_TRUE(view.aliases.isEmpty());
}

TEST_F(ParseLineTest, EveryUseOfAPlainMacroExpands) {
    view.aliases = {QStringLiteral("w=word <a u=#b#>"), QStringLiteral("b=<f style=bold>")};
    QString line;
    for (int i = 0; i < 1000; ++i)
        line += u"<a u=#w#>";
    Parse(line + u"end");
    const auto nodes = Nodes(view.doc);
    ASSERT_EQ(nodes.size(), 2u + 2 * 1000u + 1u); // paragraph, font, then per use a word and a bold font
    EXPECT_EQ(AsItem(nodes[1000 * 2])->Text, u"word");
    EXPECT_EQ(AsItem(nodes.back())->Text, u"end");
    EXPECT_EQ(AsFont(nodes[nodes.size() - 2])->Attrs.Style, TFontStyles(fsBold));
}

TEST_F(ParseLineTest, SelfReferringMacrosStopAndTheLineGoesOn) {
    view.aliases = {QStringLiteral("loop=x<a u=#loop#>"), QStringLiteral("ping=<a u=#pong#>"),
                    QStringLiteral("pong=<a u=#ping#>"), QStringLiteral("two=<a u=#two#><a u=#two#>y")};
    Parse(QStringLiteral("<a u=#loop#>after"));
    const auto nodes = Nodes(view.doc);
    EXPECT_GE(nodes.size(), 2u + 8u) << "nested uses expand up to a depth";
    EXPECT_LE(nodes.size(), 2u + 64u + 1u);
    EXPECT_EQ(AsItem(nodes.back())->Text, u"after");
    view.doc.Clear();
    EXPECT_EQ(Parse(QStringLiteral("<a u=#ping#>kept")), "P F [kept]24");
    view.doc.Clear();
    // Doubling at every level (2^depth uses): the expanded length is bounded too.
    Parse(QStringLiteral("<a u=#two#> last"));
    EXPECT_LT(view.doc.Count(), 1 << 16);
    EXPECT_EQ(AsItem(view.doc.Tail())->Text, u"last");
}
