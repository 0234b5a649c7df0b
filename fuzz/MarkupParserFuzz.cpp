// libFuzzer entry for the markup parser: any bytes, cut into lines, parse into a well-formed document.
#include "richview/MarkupParser.h"
#include "support/RichViewFakes.h"

#include <QByteArray>
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>

namespace {

using namespace tevro;

// Real font metrics and font look-up; pictures come from a fixed table instead of the file system, so
// that names in the input never reach files, and sizes include the extremes.
class FuzzViewContext final : public test::FakeViewContext {
public:
    TextMeasurer& Measurer() override { return realMeasurer; }
    bool FontInstalled(const QString& name) const override { return IsInstalledFont(name); }
    std::optional<PictureRef> LookUpPicture(const QString& name) const override {
        if (name.isEmpty() || name.size() % 3 == 0)
            return std::nullopt;
        const int w = name.size() % 3 == 1 ? 16 : 2147483647;
        return PictureRef{name, QSize(w, w)};
    }

    FontMetricsMeasurer realMeasurer;
};

// What every document must satisfy, whatever the markup: it starts with paragraph 0, and keys step up by
// one exactly at paragraph nodes; the count and the tail agree with the links.
void CheckDocument(const RichDocument& doc) {
    qsizetype count = 0;
    qint32 key = -1;
    const Node* last = nullptr;
    for (const Node* n = doc.Head(); n; n = n->Next) {
        ++count;
        const bool step = n->Key == key + 1;
        if ((n->Key != key && !step) || (step && n->Kind != TNodeKind::Para))
            __builtin_trap();
        key = n->Key;
        last = n;
    }
    if (count != doc.Count() || last != doc.Tail())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "MarkupParserFuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzViewContext view;
    view.doc.Clear();
    view.aliases.clear();

    // Lines as the view cuts them; a lone CR or LF may still reach the parser, as after LoadFromResource.
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        ParseLine(view, line);
    CheckDocument(view.doc);
    return 0;
}
