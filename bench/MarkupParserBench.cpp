// Parse time per line of a typical message log entry: a (FAILED) head and a report of five tries.
#include "richview/MarkupParser.h"
#include "support/RichViewFakes.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {

using namespace tevro;

// The entry as the result processing hands it to the log view, already cut at CR LF.
QStringList FailedEntryLines() {
    const QString nbsp(QChar(0xA0));
    QStringList lines;
    lines << u"<f style=\"bold\" color=\"255.255.255\" bgcolor=\"255.0.0\">" + nbsp + u"(FAILED)" + nbsp +
                 u"<f> <f style=\"bold\">01.02.2026<f> (13:14:15): gateway.example.net [192.0.2.7]:";
    for (int i = 1; i <= 5; ++i)
        lines << QStringLiteral("<p tab=12>## Try #%1: RecvFrom() timed out after 1000 ms.").arg(i);
    lines << QStringLiteral(
        "<p tab=12>## 5 request(s) total, all failed with a time-out set to 1000 ms each.");
    return lines;
}

class MetricsViewContext final : public test::FakeViewContext {
public:
    TextMeasurer& Measurer() override { return realMeasurer; }
    FontMetricsMeasurer realMeasurer;
};

template <typename View> void ParseEntry(benchmark::State& state) {
    const QStringList lines = FailedEntryLines();
    View view;
    view.base.Name = QStringLiteral("DejaVu Sans");
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

// With Qt's font metrics, as the view measures.
void BM_ParseLogEntry_FontMetrics(benchmark::State& state) {
    ParseEntry<MetricsViewContext>(state);
}
// With fixed widths: the parser's own cost.
void BM_ParseLogEntry_FixedWidth(benchmark::State& state) {
    ParseEntry<test::FakeViewContext>(state);
}

BENCHMARK(BM_ParseLogEntry_FontMetrics);
BENCHMARK(BM_ParseLogEntry_FixedWidth);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
