// Parse time per line of a typical message log entry, measured as the view measures.
#include "LogEntries.h"
#include "richview/MarkupParser.h"
#include "support/RichViewFakes.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {

using namespace tevro;

// The entry as the view hands it to the parser, cut at CR LF.
QStringList EntryLines() {
    return bench::LogEntry(9).split(QStringLiteral("\r\n"));
}

// The view's measurer over the view's fonts, with the fake view's base attributes as the base font.
class ViewMeasuredContext final : public test::FakeViewContext {
public:
    ViewMeasuredContext() : viewMeasurer(fonts) {
        base.Name = QStringLiteral("DejaVu Sans");
        fonts.SetBase(FontFromAttrs(base), base);
    }
    TextMeasurer& Measurer() override { return viewMeasurer; }

    ViewFonts fonts;
    ViewMeasurer viewMeasurer;
};

template <typename View> void ParseEntry(benchmark::State& state) {
    const QStringList lines = EntryLines();
    View view;
    qint64 entries = 0;
    for (auto _ : state) {
        for (const QString& line : lines)
            ParseLine(view, line);
        // The log trims itself too; keeps the document (and memory) from growing through the run.
        if (++entries % 512 == 0)
            view.doc.Clear();
    }
    state.SetItemsProcessed(entries * lines.size());
    state.SetLabel("items = lines");
}

// With the view's measurer, as the view parses.
void BM_ParseLogEntry_ViewMeasurer(benchmark::State& state) {
    ParseEntry<ViewMeasuredContext>(state);
}
// With fixed widths: the parser's own cost.
void BM_ParseLogEntry_FixedWidth(benchmark::State& state) {
    ParseEntry<test::FakeViewContext>(state);
}

BENCHMARK(BM_ParseLogEntry_ViewMeasurer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseLogEntry_FixedWidth)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
