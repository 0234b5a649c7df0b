// The graph window with a long history: a repaint of the chart, adding a bar, and the memory a bar costs.
// Run by hand: build/bench/GraphBench (offscreen unless a platform is chosen); --benchmark_repetitions=9
// --benchmark_report_aggregates_only=true gives medians.
#include "chart/BarChart.h"
#include "ui/Graph_u.h"
#include "ui/Tevro_u.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>
#include <memory>
#include <unistd.h>

namespace {

// The main window and its graph window, with settings and LOG in a temporary folder.
class Windows {
public:
    Windows() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        TevroEnvironment env;
        env.logFileName = m_dir.path() + QStringLiteral("/tevro.log");
        env.arguments = {QStringLiteral("tevro")};
        env.messageBox = [](const QString&, tevro::MessageKind, QMessageBox::StandardButtons, bool) {
            return QMessageBox::Ok;
        };
        main = std::make_unique<TF_Tevro>(std::move(env));
        graph = new TF_Graph(*main);
    }
    void Fill(qsizetype bars) {
        for (qsizetype i = 0; i < bars; ++i)
            graph->AddGraphBar(1, i % 7 == 0 ? -1 : static_cast<int>(20 + i % 50), i % 5 == 0 ? 33 : 0);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<TF_Tevro> main;
    TF_Graph* graph = nullptr;
};

long ResidentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * sysconf(_SC_PAGESIZE) : 0;
}

// Resident memory added per bar, over a million bars fed as result processing feeds them.
void BM_ResidentBytesPerBar(benchmark::State& state) {
    Windows w; // fresh, before any other benchmark has freed memory that a fill could reuse
    const qsizetype bars = state.range(0);
    double perBar = 0;
    for (auto _ : state) {
        const long before = ResidentBytes();
        w.Fill(bars);
        perBar = static_cast<double>(ResidentBytes() - before) / static_cast<double>(bars);
    }
    state.counters["bytes_per_bar"] = perBar;
}
// Once per process whatever --benchmark_repetitions says: a second fill reuses what the first one freed.
BENCHMARK(BM_ResidentBytesPerBar)->Arg(1000000)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

// One pair of windows for every benchmark: filling a million bars takes a while on a busy machine.
Windows& Shared(qsizetype bars) {
    static Windows windows;
    if (windows.graph->Chart1->BarCount() > bars)
        windows.graph->ClearGraph();
    windows.Fill(bars - windows.graph->Chart1->BarCount());
    return windows;
}

void BM_RepaintChart(benchmark::State& state) {
    Windows& w = Shared(state.range(0));
    w.graph->SetGraphTitle(QStringLiteral("Graph for <gateway>\r\nLast ping mean-time 23 ms"), 23, 0);
    w.graph->show();
    if (!QTest::qWaitForWindowExposed(w.graph))
        qFatal("the graph window was never shown");
    for (auto _ : state)
        w.graph->Chart1->repaint();
    state.counters["bars"] = static_cast<double>(w.graph->Chart1->BarCount());
}
BENCHMARK(BM_RepaintChart)
    ->Arg(32)
    ->Arg(10000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond);

void BM_AddGraphBar(benchmark::State& state) {
    Windows& w = Shared(state.range(0));
    int n = 0;
    for (auto _ : state)
        w.graph->AddGraphBar(1, 20 + n++ % 50, 0);
}
BENCHMARK(BM_AddGraphBar)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond);

} // namespace
