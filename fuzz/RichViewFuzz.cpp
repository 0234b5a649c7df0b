// libFuzzer entry for the text view: any bytes, cut into lines, through the parser into a well-formed
// document, three layout passes on a recording canvas, a real offscreen paint of a TRichView at three
// scroll positions, and removal paragraph by paragraph until the view is empty.
#include "richview/MarkupParser.h"
#include "richview/RichLayout.h"
#include "richview/RichView.h"
#include "support/RichViewFakes.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QImage>
#include "richview/ExScrollBar.h"
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace tevro;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// The view's measurer over real fonts; pictures come from a fixed table instead of the file system, so
// that names in the input never reach files, and sizes include the extremes.
class FuzzViewContext final : public test::FakeViewContext {
public:
    FuzzViewContext() : viewMeasurer(fonts) { fonts.SetBase(FontFromAttrs(base), base); }
    TextMeasurer& Measurer() override { return viewMeasurer; }
    bool FontInstalled(const QString& name) const override { return IsInstalledFont(name); }
    std::optional<PictureRef> LookUpPicture(const QString& name) override {
        if (name.isEmpty() || name.size() % 3 == 0)
            return std::nullopt;
        const int w = name.size() % 3 == 1 ? 16 : 2147483647;
        return PictureRef{name, QSize(w, w)};
    }

    ViewFonts fonts;
    ViewMeasurer viewMeasurer;
};

// Whatever the markup: the document starts with paragraph 0, keys step up by one exactly at paragraph
// nodes, and the count and the tail agree with the links.
void CheckDocument(const RichDocument& doc) {
    qsizetype count = 0;
    qint32 key = -1;
    const Node* last = nullptr;
    for (const Node* n = doc.Head(); n; n = n->Next) {
        ++count;
        const bool step = n->Key == key + 1;
        Check(n->Key == key || step);
        Check(!step || n->Kind == TNodeKind::Para);
        key = n->Key;
        last = n;
    }
    Check(count == doc.Count() && last == doc.Tail());
}

// Counts what a pass draws and checks that every position stays in the range the layout promises.
class RecordingCanvas final : public LayoutCanvas {
public:
    void ApplyAttrs(const TFontAttrs&) override {}
    void DrawText(int x, int top, const ItemNode& item) override { Record(x, top, item); }
    void DrawPicture(int x, int top, const ItemNode& item) override { Record(x, top, item); }
    void DrawRule(int x, int y, const ItemNode& item) override { Record(x, y, item); }

    qsizetype drawn = 0;

private:
    void Record(int x, int y, const ItemNode&) {
        constexpr int kLimit = 1 << 24;
        Check(x >= -kLimit && x <= kLimit && y >= -kLimit && y <= kLimit);
        ++drawn;
    }
};

void LayOut(const RichDocument& doc) {
    const LayoutMetrics views[] = {{1, 13, 13, 0, false}, {375, 105, 13, 400, true}, {160, 60, 13, 1 << 20, false}};
    for (const LayoutMetrics& m : views) {
        RecordingCanvas canvas;
        const int height = LayoutPass(doc, m, &canvas);
        Check(height == LayoutPass(doc, m, nullptr)); // painting never changes the content height
        Check(canvas.drawn <= doc.Count());
    }
}

// The height the view arrived at by laying out only what each change appended is the whole pass's.
void CheckHeldHeight(TRichView& view) {
    const int whole = view.LayoutPass(false);
    const TExScrollBar* bar = view.ScrollBar();
    if (whole > view.height())
        Check(bar->isEnabled() && bar->maximum() == whole - view.height());
    else
        Check(!bar->isEnabled());
}

// The real widget, given the text a line at a time, painted offscreen at the top, the middle and the end,
// then emptied paragraph by paragraph. Documents that macros blew up are cleared in one go instead:
// removing tens of thousands of paragraphs one layout pass each would only make every run slow.
void ViewPaintAndDelete(const QString& text) {
    TRichView view;
    view.resize(160, 60);
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        view.AddText(line);
        if (view.Content().Count() <= 2000)
            CheckHeldHeight(view);
    }
    CheckDocument(view.Content());
    TExScrollBar* bar = view.ScrollBar();
    for (const int pos : {0, bar->maximum() / 2, bar->maximum()}) {
        bar->setValue(pos);
        Check(!view.grab().isNull());
    }
    if (view.Content().Count() > 2000) {
        view.Clear();
        Check(view.DocumentSize() == 0);
        return;
    }
    for (int step = 0; view.DocumentSize() > 0; ++step) {
        const qint32 size = view.DocumentSize();
        const qint32 last = view.Content().LastKey();
        view.DeleteParagraph(step % 3 == 0 ? 0 : step % 3 == 1 ? last : last / 2);
        Check(view.DocumentSize() < size);
        CheckDocument(view.Content());
        CheckHeldHeight(view);
    }
    Check(!view.grab().isNull());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "RichViewFuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    // The view looks pictures up in the current folder: one of its own, holding two real pictures.
    static QTemporaryDir folder;
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    picture.save(folder.filePath(QStringLiteral("pic.bmp")));
    picture.scaled(4, 40).save(folder.filePath(QStringLiteral("Tall.png")));
    QDir::setCurrent(folder.path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzViewContext context;
    context.doc.Clear();
    context.aliases.clear();

    // Lines as the view cuts them; a lone CR or LF may still reach the parser, as after LoadFromResource.
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        ParseLine(context, line);
    CheckDocument(context.doc);
    LayOut(context.doc);

    // The widget finds pictures for real: without a "/" a name stays inside the fuzz folder.
    QString local = text;
    local.replace(u'/', u'_');
    ViewPaintAndDelete(local);
    return 0;
}
