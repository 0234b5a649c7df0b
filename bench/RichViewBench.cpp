// The message log at its working size: adding an entry, painting the end of it, trimming it; and the
// layout pass over a long line of narrow items. Run by hand: build/bench/RichViewBench (offscreen unless a
// platform is chosen); --benchmark_repetitions=9 gives medians.
#include "LogEntries.h"
#include "richview/ExScrollBar.h"
#include "richview/RichLayout.h"
#include "richview/RichView.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>
#include <benchmark/benchmark.h>
#include <ctime>

namespace {

using tevro::bench::LogEntry;

constexpr qint32 kTrimAt = 524288; // the log is trimmed once it reaches this size...
constexpr qint32 kTrimTo = 32768;  // ...down to below this one
constexpr int kParagraphsPerEntry = 5;

// The message log's geometry on the main window, filled up to just below the trimming size.
class FullLog {
public:
    FullLog() {
        view.resize(392, 105);
        QImage tile(32, 32, QImage::Format_RGB32); // the log has a tiled background picture
        tile.fill(QColor(235, 242, 255));
        view.SetBackground(QPixmap::fromImage(tile));
        view.show();
        // A paint of a window that is not exposed yet does nothing.
        if (!QTest::qWaitForWindowExposed(&view))
            qFatal("the view was never shown");
        Fill();
    }

    void Fill() {
        // Entries of the same kind have the same node count; stop before the next one would reach the limit.
        while (view.DocumentSize() < kTrimAt - 60 * 102)
            view.AddText(LogEntry(next++));
    }

    TRichView view;
    int next = 0;
};

// This thread's CPU time in seconds: on a shared machine wall time mostly measures the other processes.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// AddText alone is timed, by hand, in CPU time of this thread (pausing the library's timer costs more than
// some of what is measured); removing the oldest entry afterwards keeps the log at its size.
void BM_AddLogEntry(benchmark::State& state) {
    FullLog log;
    for (auto _ : state) {
        const QString entry = LogEntry(log.next++);
        const double start = ThreadSeconds();
        log.view.AddText(entry);
        state.SetIterationTime(ThreadSeconds() - start);
        for (int i = 0; i < kParagraphsPerEntry; ++i)
            log.view.DeleteParagraph(0);
    }
    state.counters["nodes"] = log.view.DocumentSize() / 102;
}
BENCHMARK(BM_AddLogEntry)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A whole layout pass without painting, as removing a paragraph or a new width runs it; adding text lays
// out only what it added.
void BM_LayoutPass(benchmark::State& state) {
    FullLog log;
    for (auto _ : state)
        benchmark::DoNotOptimize(log.view.LayoutPass(false));
}
BENCHMARK(BM_LayoutPass)->Unit(benchmark::kMicrosecond);

void BM_PaintAtEnd(benchmark::State& state) {
    FullLog log;
    log.view.GoLast();
    for (auto _ : state)
        log.view.repaint();
    state.counters["nodes"] = log.view.DocumentSize() / 102;
}
BENCHMARK(BM_PaintAtEnd)->Unit(benchmark::kMicrosecond);

void BM_TrimLog(benchmark::State& state) {
    FullLog log;
    for (auto _ : state) {
        while (log.view.DocumentSize() >= kTrimTo)
            log.view.DeleteParagraph(0);
        state.PauseTiming();
        log.Fill();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TrimLog)->Unit(benchmark::kMillisecond);

// Pictures are looked up in the current folder; the program may well be started in a big one.
class BigWorkingFolder {
public:
    BigWorkingFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(QStringLiteral("/usr/bin")); }
    ~BigWorkingFolder() { QDir::setCurrent(m_previous); }

private:
    QString m_previous;
};

// The help page's top (with its icon) and middle, painted in turn, as when the user scrolls it.
void BM_PaintHelpPage(benchmark::State& state) {
    BigWorkingFolder folder;
    TRichView view;
    view.resize(245, 209);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        qFatal("the view was never shown");
    view.AddText(QStringLiteral("<p halign=\"center\" valign=\"middle\"><f style=\"bold\">:::::<f>"
                                "<f pic=\"Help_Icon\"><f><f style=\"bold\">:::::<f>"));
    if (!view.LoadFromResource(QStringLiteral("Help_Text")))
        qFatal("no help text");
    int n = 0;
    for (auto _ : state) {
        view.ScrollBar()->setValue(n++ % 2 == 0 ? 0 : view.ScrollBar()->maximum() / 2);
        view.repaint();
    }
}
BENCHMARK(BM_PaintHelpPage)->Unit(benchmark::kMicrosecond);

// A new view given one line naming 200 pictures that exist nowhere, then painted.
void BM_MissingPicturesLine(benchmark::State& state) {
    BigWorkingFolder folder;
    QString line = QStringLiteral("<f");
    for (int i = 0; i < 200; ++i)
        line += QStringLiteral(" pic=missing%1").arg(i);
    line += u'>';
    for (auto _ : state) {
        TRichView view;
        view.resize(392, 105);
        view.AddText(line);
        benchmark::DoNotOptimize(view.grab());
    }
}
BENCHMARK(BM_MissingPicturesLine)->Unit(benchmark::kMillisecond);

// One centred line of N rules written with negative widths: a single layout pass. Doubling N should at most
// double the time.
void BM_LayoutRuleLine(benchmark::State& state) {
    TRichView view;
    view.resize(392, 105);
    QString line = QStringLiteral("<p align=center><f");
    for (int64_t i = 0; i < state.range(0); ++i)
        line += QStringLiteral(" hr=-100");
    view.AddText(line + u'>');
    for (auto _ : state)
        benchmark::DoNotOptimize(view.LayoutPass(false));
    state.counters["nodes"] = view.DocumentSize() / 102;
}
BENCHMARK(BM_LayoutRuleLine)->Arg(24000)->Arg(48000)->Unit(benchmark::kMillisecond);

// The same with items of negative width laid out directly (a picture found nowhere is -1 wide, and a
// base font under 2 points gives no word spacing): rows must still take what they measured.
void BM_LayoutNegativeWidthLine(benchmark::State& state) {
    using namespace tevro;
    RichDocument doc;
    auto para = std::make_unique<ParaNode>();
    para->HAlign = THAlign::Center;
    doc.Append(std::move(para));
    doc.Append(std::make_unique<FontNode>(TFontAttrs{}));
    for (int64_t i = 0; i < state.range(0); ++i) {
        auto item = std::make_unique<ItemNode>();
        item->ItemType = TItemType::Rule;
        item->Width = -100;
        item->Height = 13;
        doc.Append(std::move(item));
    }
    LayoutMetrics metrics;
    metrics.avail = 375;
    metrics.height = 105;
    metrics.lineHeight = 13;
    for (auto _ : state)
        benchmark::DoNotOptimize(LayoutPass(doc, metrics, nullptr));
}
BENCHMARK(BM_LayoutNegativeWidthLine)->Arg(24000)->Arg(48000)->Unit(benchmark::kMillisecond);

} // namespace
