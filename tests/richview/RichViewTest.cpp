// TRichView as a widget: the document operations, the change sequence, the scroll bar, the base font
// and colour, and what a paint puts on the screen (grabbed offscreen and checked pixel by pixel).
#include "richview/RichView.h"

#include "richview/ExScrollBar.h"
#include "support/RichViewFakes.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <cstdint>
#include <vector>

using namespace tevro;

namespace {

constexpr int kChar = 6;
constexpr int kLine = 13;

// Keys of the document's nodes in order, with the text of each item: "0P 0F 0[a]".
std::string Keys(const TRichView& view) {
    QString out;
    for (const Node* n = view.Content().Head(); n != nullptr; n = n->Next) {
        if (!out.isEmpty())
            out += u' ';
        out += QString::number(n->Key);
        if (AsPara(n) != nullptr)
            out += u'P';
        else if (AsFont(n) != nullptr)
            out += u'F';
        else
            out += u'[' + AsItem(n)->Text + u']';
    }
    return out.toStdString();
}

// A view of 200 x 105 that measures every character 6 wide and 13 high, in an 8-point base font.
class RichViewTest : public ::testing::Test {
protected:
    RichViewTest() {
        QFont font(QStringLiteral("Sans Serif"));
        font.setPointSize(8);
        view.setFont(font);
        view.SetMeasurer(std::make_unique<test::FixedWidthMeasurer>(kChar, kLine));
        view.resize(200, 105);
    }

    // Adds `count` one-line paragraphs of one word each.
    void AddLines(int count) {
        for (int i = 0; i < count; ++i)
            view.AddText(QStringLiteral("line"));
    }

    TRichView view;
    QSignalSpy changes{&view, &TRichView::OnChange};
};

TEST_F(RichViewTest, MeasuresTheBaseFontWithItsMeasurer) {
    EXPECT_EQ(view.CharWidth(), kChar);
    EXPECT_EQ(view.LineHeight(), kLine);
    EXPECT_EQ(view.BaseAttrs().Size, 8);
}

TEST_F(RichViewTest, DocumentSizeCountsEveryNode) {
    EXPECT_EQ(view.DocumentSize(), 0);
    view.AddText(QStringLiteral("<p>"));
    EXPECT_EQ(view.DocumentSize(), 102);
    view.Clear();
    view.AddText(QStringLiteral("<f>x"));
    EXPECT_EQ(view.DocumentSize(), 306);
}

TEST_F(RichViewTest, AddTextSplitsAtCrLfAndTracksEmptyLines) {
    view.AddText(QStringLiteral("a\r\nb c\r\n"));
    EXPECT_EQ(Keys(view), "0P 0F 0[a] 1P 1F 1[b] 1[c]") << "a trailing CR LF adds no empty line";
    EXPECT_FALSE(view.LastEmpty());
    EXPECT_EQ(changes.count(), 1) << "one change per call, however many lines";

    view.AddText(QString());
    EXPECT_FALSE(view.LastEmpty()) << "an empty text has no line at all";
    view.AddText(QStringLiteral("\r\n"));
    EXPECT_TRUE(view.LastEmpty());
    view.AddText(QStringLiteral("d"));
    EXPECT_FALSE(view.LastEmpty());
    view.AddText(QStringLiteral("<P>"));
    EXPECT_TRUE(view.LastEmpty());
    EXPECT_EQ(Keys(view), "0P 0F 0[a] 1P 1F 1[b] 1[c] 2P 2F 2[d] 3P");
    EXPECT_EQ(changes.count(), 5);
    EXPECT_EQ(changes.first().at(0).value<TRichView*>(), &view);
}

TEST_F(RichViewTest, DeleteParagraphRenumbersAndAddingContinues) {
    view.AddText(QStringLiteral("a\r\nb\r\nc"));
    view.DeleteParagraph(0);
    EXPECT_EQ(Keys(view), "0P 0F 0[b] 1P 1F 1[c]");
    view.AddText(QStringLiteral("d"));
    EXPECT_EQ(Keys(view), "0P 0F 0[b] 1P 1F 1[c] 2P 2F 2[d]");

    view.DeleteParagraph(1);
    EXPECT_EQ(Keys(view), "0P 0F 0[b] 1P 1F 1[d]");
    changes.clear();
    view.DeleteParagraph(7);
    EXPECT_EQ(Keys(view), "0P 0F 0[b] 1P 1F 1[d]");
    EXPECT_EQ(changes.count(), 1) << "the change sequence runs even when nothing was removed";

    view.DeleteParagraph(1);
    view.DeleteParagraph(0);
    EXPECT_EQ(view.DocumentSize(), 0);
    view.AddText(QStringLiteral("e"));
    EXPECT_EQ(Keys(view), "0P 0F 0[e]") << "an emptied document numbers from 0 again";
}

// Changes lay out only what they appended; the height they arrive at must be the one a whole pass gives,
// through wrapped rows, empty and hidden paragraphs, lines that end in a font alone, removed paragraphs
// and changes of width and of ShowHidden.
TEST_F(RichViewTest, AppendingLaysOutAsAWholePassWould) {
    const QStringList lines = {
        QStringLiteral("one"),
        QStringLiteral("many words that wrap over several rows of a narrow view and then some more words"),
        QString(),
        QStringLiteral("<p>"),
        QStringLiteral("<p align=center>centred words that also wrap over a row or two"),
        QStringLiteral("<h>hidden words<h> shown again"),
        QStringLiteral("<h>only hidden"),
        QStringLiteral("<f color=red>"),
        QStringLiteral("<f pic=Help_Icon> beside a picture"),
        QStringLiteral("a<p>b<p><p>c"),
        QStringLiteral("<f hr=50>"),
    };
    view.resize(120, 1); // one pixel tall: the bar's range shows every content height
    view.show();
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int step = 0; step < 400; ++step) {
        const std::uint32_t op = next(20);
        if (op == 0 && view.DocumentSize() > 0)
            view.DeleteParagraph(0);
        else if (op == 1)
            view.resize(80 + static_cast<int>(next(120)), 1);
        else if (op == 2)
            view.SetShowHidden(!view.ShowHidden());
        else
            view.AddText(lines[static_cast<qsizetype>(next(static_cast<std::uint32_t>(lines.size())))]);
        const int whole = view.LayoutPass(false);
        const int held = view.ScrollBar()->isEnabled() ? view.ScrollBar()->maximum() + view.height() : 0;
        ASSERT_EQ(held, whole > view.height() ? whole : 0) << "step " << step << ":\n" << Keys(view);
    }
}

TEST_F(RichViewTest, ClearKeepsMacrosAndLastEmpty) {
    view.Clear();
    EXPECT_EQ(changes.count(), 1) << "Clear on an empty view still announces a change";
    EXPECT_FALSE(view.ScrollBar()->isEnabled());

    view.AddText(QStringLiteral("<a name=\"sig\">signed"));
    view.AddText(QStringLiteral("<p>"));
    AddLines(20);
    view.AddText(QStringLiteral("<p>"));
    ASSERT_TRUE(view.ScrollBar()->isEnabled());
    view.Clear();
    EXPECT_EQ(view.DocumentSize(), 0);
    EXPECT_FALSE(view.ScrollBar()->isEnabled());
    EXPECT_EQ(view.ScrollBar()->value(), 0);
    EXPECT_TRUE(view.LastEmpty());
    view.AddText(QStringLiteral("<a name=\"#sig#\">"));
    EXPECT_EQ(Keys(view), "0P 0F 0[signed]");
}

TEST_F(RichViewTest, ScrollRangeFollowsTheContentHeight) {
    view.resize(200, 105);
    AddLines(8); // 104 pixels: fits
    EXPECT_FALSE(view.ScrollBar()->isEnabled());
    EXPECT_EQ(view.ScrollBar()->maximum(), 0);

    AddLines(2); // 130 pixels
    EXPECT_EQ(view.LayoutPass(false), 130);
    TExScrollBar* bar = view.ScrollBar();
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 130 - 105);
    EXPECT_EQ(bar->singleStep(), 13);
    EXPECT_EQ(bar->pageStep(), 91);
    EXPECT_EQ(bar->value(), bar->maximum()) << "AutoGoLast shows the end";

    // A size change adjusts the range without announcing a change or moving to the end.
    bar->setValue(3);
    changes.clear();
    view.resize(200, 80);
    QCoreApplication::sendPostedEvents(&view, QEvent::Resize);
    view.show();
    EXPECT_EQ(bar->maximum(), 130 - 80);
    EXPECT_EQ(bar->value(), 3);
    EXPECT_EQ(changes.count(), 0);
    view.resize(200, 300);
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(RichViewTest, AutoGoLastAndTheUsersHold) {
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    TExScrollBar* bar = view.ScrollBar();
    view.SetAutoGoLast(false);
    AddLines(20);
    EXPECT_EQ(bar->value(), 0) << "without AutoGoLast the view stays where it is";
    view.SetAutoGoLast(true);
    EXPECT_EQ(bar->value(), bar->maximum()) << "switching it on goes to the end at once";
    view.GoFirst();
    EXPECT_EQ(bar->value(), 0);
    view.SetAutoGoLast(true);
    EXPECT_EQ(bar->value(), 0) << "setting it again does nothing";
    view.GoLast();
    EXPECT_EQ(bar->value(), bar->maximum());

    // While the user holds the bar, new lines leave the position alone.
    bar->setValue(5);
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() / 2));
    ASSERT_TRUE(bar->Pressed());
    const int held = bar->value();
    AddLines(3);
    EXPECT_EQ(bar->value(), held);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() / 2));
    QTest::mouseMove(bar, QPoint(bar->width() / 2, 2));
    AddLines(1);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(RichViewTest, TheWheelOverTheTextScrollsIt) {
    AddLines(20);
    view.GoFirst();
    QWheelEvent down(QPointF(20, 20), view.mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &down);
    EXPECT_GT(view.ScrollBar()->value(), 0);
    EXPECT_EQ(view.ScrollBar()->value() % kLine, 0) << "the wheel steps in whole lines";
}

TEST_F(RichViewTest, ShowHiddenLaysOutHiddenLinesAgain) {
    view.AddText(QStringLiteral("shown\r\n<h>hidden\r\n<h>also hidden"));
    EXPECT_EQ(view.LayoutPass(false), kLine);
    changes.clear();
    view.SetShowHidden(true);
    EXPECT_EQ(view.LayoutPass(false), 3 * kLine);
    EXPECT_EQ(changes.count(), 1);
    view.SetShowHidden(true);
    EXPECT_EQ(changes.count(), 1) << "no change, no announcement";
}

TEST_F(RichViewTest, LoadFromResourceAddsLineByLine) {
    QString error;
    EXPECT_FALSE(view.LoadFromResource(QStringLiteral("No_Such_Text"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("No_Such_Text")));
    EXPECT_EQ(view.DocumentSize(), 0);
    EXPECT_EQ(changes.count(), 0);

    // Its lines end in CR LF, a lone CR and a lone LF; the last has no end at all.
    ASSERT_TRUE(view.LoadFromResource(QStringLiteral("view_test_LINES"), &error)) << error.toStdString();
    EXPECT_EQ(changes.count(), 6) << "every line is announced on its own, the empty one too";
    EXPECT_EQ(Keys(view), "0P 0F 0[first] 0[line] 1P 2P 2F 2[second] 2[line] 3P 3F 3[third] 3[line] "
                          "4P 4F 4[last] 4[line] 4[without] 4[end]");
    EXPECT_FALSE(view.LastEmpty());
}

TEST(RichViewColourTest, ControlColourAndFontFeedTheBaseAttributes) {
    TRichView view;
    EXPECT_EQ(view.Color(), QColor(Qt::white));
    EXPECT_EQ(view.BaseAttrs().BackColor, FromQColor(QApplication::palette().color(QPalette::Base)))
        << "until the colour changes again, no background means the system window colour";

    view.SetColor(QColor(10, 20, 30));
    EXPECT_EQ(view.BaseAttrs().BackColor, RgbColor(10, 20, 30));

    const int smallLine = view.LineHeight();
    EXPECT_GT(smallLine, 0);
    QFont big(QStringLiteral("Sans Serif"));
    big.setPointSize(20);
    big.setBold(true);
    view.setFont(big);
    EXPECT_EQ(view.BaseAttrs().Size, 20);
    EXPECT_EQ(view.BaseAttrs().Style, TFontStyles(fsBold));
    EXPECT_GT(view.LineHeight(), smallLine);
}

// ---- painting -------------------------------------------------------------------------------------

QPixmap SolidTile(QColor color, QColor topRow) {
    QImage tile(16, 16, QImage::Format_RGB32);
    tile.fill(color);
    for (int x = 0; x < 16; ++x)
        tile.setPixelColor(x, 0, topRow);
    return QPixmap::fromImage(tile);
}

int CountColour(const QImage& image, QRect area, QColor colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixelColor(x, y) == colour ? 1 : 0;
    }
    return count;
}

// Paints with real fonts, so positions come from the document rather than from fixed widths.
class RichViewPaintTest : public ::testing::Test {
protected:
    RichViewPaintTest() {
        view.resize(300, 105);
        view.show();
    }
    QImage Grab() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    const ItemNode& Item(int index) {
        const Node* n = view.Content().Head();
        for (int i = 0; n != nullptr; n = n->Next) {
            if (AsItem(n) != nullptr && i++ == index)
                return *AsItem(n);
        }
        throw std::out_of_range("no such item");
    }
    int Gap() const { return view.BaseAttrs().Size / 2; }

    const QColor tileColour{200, 220, 255};
    const QColor stripe{255, 0, 255};
    TRichView view;
};

TEST_F(RichViewPaintTest, LabelsFillTheirCellOtherTextIsTransparent) {
    view.SetBackground(SolidTile(tileColour, tileColour));
    view.AddText(QStringLiteral("<f bgcolor=\"0.128.0\" color=\"255.255.255\">") + QChar(0xA0) + u"OK" +
                 QChar(0xA0) + u"<f> plain");
    const QImage image = Grab();
    const int lineHeight = view.LineHeight();
    const int labelWidth = Item(0).Width - Gap();
    const QRect label(1, 0, labelWidth, lineHeight);
    EXPECT_EQ(CountColour(image, label, tileColour), 0) << "the label's cell is filled";
    EXPECT_GT(CountColour(image, label, QColor(0, 128, 0)), labelWidth * lineHeight / 2);

    const QRect plain(1 + Item(0).Width, 0, Item(1).Width, lineHeight);
    EXPECT_EQ(CountColour(image, plain, QColor(Qt::white)), 0) << "plain text leaves the background visible";
    EXPECT_GT(CountColour(image, plain, tileColour), Item(1).Width * lineHeight / 2);
    EXPECT_LT(CountColour(image, plain, tileColour), Item(1).Width * lineHeight) << "but it is drawn";
}

TEST_F(RichViewPaintTest, BackgroundPansWithTheTextOrStaysFixed) {
    view.SetBackground(SolidTile(tileColour, stripe));
    for (int i = 0; i < 30; ++i)
        view.AddText(QStringLiteral("<p align=right>x"));
    view.ScrollBar()->setValue(5);
    QImage image = Grab();
    // Column 0 holds no text: only tiles.
    EXPECT_EQ(image.pixelColor(0, 11), stripe) << "panned: tiles start at -(5 mod 16)";
    EXPECT_EQ(image.pixelColor(0, 27), stripe);
    EXPECT_EQ(image.pixelColor(0, 0), tileColour);

    view.SetPanBackground(false);
    view.InvalidateText();
    image = Grab();
    EXPECT_EQ(image.pixelColor(0, 0), stripe) << "fixed: the text moves over the tiles";
    EXPECT_EQ(image.pixelColor(0, 16), stripe);
    EXPECT_EQ(image.pixelColor(0, 11), tileColour);
}

TEST_F(RichViewPaintTest, RulePenWidthCarriesOverToARuleWithoutAThicknessOfItsOwn) {
    view.AddText(QStringLiteral("<f color=\"255.0.0\" hr=\"100,3\">"));
    view.AddText(QStringLiteral("<f color=\"0.0.255\" hr=\"100,12\">"));
    view.AddText(QStringLiteral("<f color=\"0.128.0\" hr=\"100\">"));
    const QImage image = Grab();
    const int lineHeight = view.LineHeight();
    const auto thickness = [&](int row, QColor colour) {
        return CountColour(image, QRect(50, row * lineHeight, 1, lineHeight), colour);
    };
    EXPECT_EQ(thickness(0, Qt::red), 3);
    EXPECT_EQ(thickness(1, Qt::blue), 3) << "12 is no pen width: the previous one stays";
    EXPECT_EQ(thickness(2, QColor(0, 128, 0)), 3);
    // A rule ends where its width does.
    EXPECT_EQ(image.pixelColor(1 + 99, lineHeight / 2), QColor(Qt::red));
    EXPECT_NE(image.pixelColor(1 + 100, lineHeight / 2), QColor(Qt::red));
}

TEST_F(RichViewPaintTest, PicturesOpaqueOrTransparent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(10, 30, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x)
            picture.setPixelColor(x, 20 + y, QColor(255, 255, 0)); // the bottom third: the key colour
    }
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("pic.png"))));
    ASSERT_TRUE(
        QFile::copy(dir.filePath(QStringLiteral("pic.png")), dir.filePath(QStringLiteral("notpic.png"))));
    QFile broken(dir.filePath(QStringLiteral("broken.bmp")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(100, 'x'));
    broken.close();

    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    view.SetBackground(SolidTile(tileColour, tileColour));
    view.AddText(
        QStringLiteral("<p valign=bottom><f pic=\"pic.png,1\"><f pic=\"broken.bmp\"><f pic=\"notpic.png\">"));
    view.AddText(QStringLiteral("<p>under"));
    // Painting draws what the parse found: neither the folder nor the files are needed any more.
    QDir::setCurrent(previous);
    ASSERT_TRUE(dir.remove());
    const QImage image = Grab();

    const int pictureX = 1;
    EXPECT_EQ(image.pixelColor(pictureX + 5, 5), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(pictureX + 5, 25), tileColour)
        << "the bottom-left colour lets the tiles through";
    const int opaqueX = 1 + Item(0).Width + Item(1).Width;
    EXPECT_EQ(image.pixelColor(opaqueX + 5, 25), QColor(255, 255, 0));
}

// Pixels of text drawn in a red font, and of text drawn in a dark one.
std::pair<int, int> RedAndDark(const QImage& image) {
    int red = 0;
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 100 && c.blue() < 100 ? 1 : 0;
            dark += c.red() < 100 && c.green() < 100 && c.blue() < 100 ? 1 : 0;
        }
    }
    return {red, dark};
}

TEST_F(RichViewPaintTest, RowsBelowAScrolledOutStartKeepTheParagraphsFont) {
    // A paragraph that turns red after its first word, as a log entry's report follows its head, wrapped
    // into far more rows than the view shows; AutoGoLast shows its end, so the row that holds the red
    // font node lies above the visible band.
    QString words;
    for (int i = 0; i < 400; ++i)
        words += QStringLiteral(" word%1").arg(i);
    view.AddText(u"plain <f color=\"255.0.0\">" + words);
    ASSERT_GT(view.ScrollBar()->value(), 3 * view.height());
    const auto [red, dark] = RedAndDark(Grab().copy(0, 0, view.width() - view.ScrollBar()->width(), view.height()));
    EXPECT_GT(red, 200);
    EXPECT_EQ(dark, 0) << "no row falls back to the base font's colour";
}

TEST_F(RichViewPaintTest, AViewInADisabledWindowStillFollowsTheEnd) {
    QWidget window;
    window.resize(300, 105);
    TRichView* log = new TRichView(&window);
    log->resize(300, 105);
    window.setEnabled(false);
    window.show();
    log->AddText(QStringLiteral("<f color=\"255.0.0\">top"));
    for (int i = 0; i < 30; ++i)
        log->AddText(QStringLiteral("<f color=\"0.0.255\">line"));
    TExScrollBar* bar = log->ScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(RedAndDark(log->grab().toImage()).first, 0) << "the top is scrolled away";
    log->GoFirst();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_GT(RedAndDark(log->grab().toImage()).first, 0);
}

TEST_F(RichViewPaintTest, AbsurdIndentsAndRuleWidthsPaintWithoutHarm) {
    // Rows: "far" at the largest indent, the rule that no longer fits beside it, the leftward rule,
    // and "near" at the smallest indent.
    view.AddText(QStringLiteral("<p tab=2147483647>far <f hr=\"2147483647,2\">"));
    view.AddText(QStringLiteral("<f hr=\"-2147483647\"><p align=center tab=-2147483647>near"));
    EXPECT_EQ(view.LayoutPass(false), 4 * view.LineHeight());
    const QImage image = Grab();
    EXPECT_EQ(image.pixelColor(150, view.LineHeight() / 2), QColor(Qt::white)) << "nothing lands on screen";
}

} // namespace
