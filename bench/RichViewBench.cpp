// The message log at its working size: adding an entry, painting the end of it, trimming it.
// Run by hand: build/bench/RichViewBench (offscreen unless a platform is chosen).
#include "richview/RichView.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <benchmark/benchmark.h>

namespace {

constexpr qint32 kTrimAt = 524288; // the log is trimmed once it reaches this size...
constexpr qint32 kTrimTo = 32768;  // ...down to below this one
constexpr int kParagraphsPerEntry = 5;

// A result entry in the markup the result processing writes: a coloured head, the date in bold, and a
// report of a header and four indented lines.
QString LogEntry(int n) {
    const QChar nbsp(0xA0);
    const int kind = n % 10; // mostly clean successes, some with loss, some failures
    QString head;
    if (kind < 7)
        head = QStringLiteral("<f style=\"bold\" color=\"255.255.255\" bgcolor=\"0.128.0\">") + nbsp +
               u"(SUCCESS)" + nbsp + u"<f> ";
    else if (kind < 9)
        head = QStringLiteral("<f style=\"bold\" color=\"255.255.255\" bgcolor=\"255.128.0\">") + nbsp +
               u"(SUCCESS)" + nbsp + u"<f> ";
    else
        head = QStringLiteral("<f style=\"bold\" color=\"255.255.255\" bgcolor=\"255.0.0\">") + nbsp +
               u"(FAILED)" + nbsp + u"<f> ";

    const QString date = QStringLiteral("%1.12.2026").arg(1 + n / 1440 % 28, 2, 10, QLatin1Char('0'));
    const QString time = QStringLiteral("%1:%2:02")
                             .arg(n / 60 % 24, 2, 10, QLatin1Char('0'))
                             .arg(n % 60, 2, 10, QLatin1Char('0'));
    const QString tab = QStringLiteral("\r\n<p tab=12>## ");
    QString report = QStringLiteral("gateway [192.0.2.7]:");
    for (int t = 1; t <= 3; ++t) {
        if (kind == 9 || (kind >= 7 && t == 3))
            report += tab + QStringLiteral("Try #%1: RecvFrom() timed out after 1000 ms.").arg(t);
        else
            report += tab + QStringLiteral("Try #%1: successful, DataSize=32, TTL=52, Time=%2 ms.")
                                .arg(t)
                                .arg(20 + (n + t) % 40);
    }
    if (kind == 9)
        report += tab + QStringLiteral("3 request(s) total, all failed with a time-out set to 1000 ms each");
    else if (kind >= 7)
        report +=
            tab + QStringLiteral(
                      "3 request(s) total, 2 successful. Min=21 ms, Max=58 ms, Mean=40 ms, Packet loss=33%");
    else
        report +=
            tab + QStringLiteral(
                      "3 request(s) total, 3 successful. Min=21 ms, Max=58 ms, Mean=40 ms, Packet loss=0%");
    return head + u"<f style=\"bold\">" + date + u"<f> (" + time + u"): " + report + u'.';
}

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

void BM_AddLogEntry(benchmark::State& state) {
    FullLog log;
    for (auto _ : state) {
        log.view.AddText(LogEntry(log.next++));
        state.PauseTiming();
        for (int i = 0; i < kParagraphsPerEntry; ++i) // keep the log at its size
            log.view.DeleteParagraph(0);
        state.ResumeTiming();
    }
    state.counters["nodes"] = log.view.DocumentSize() / 102;
}
BENCHMARK(BM_AddLogEntry)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The layout pass without painting that every change runs, alone.
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
BENCHMARK(BM_PaintAtEnd)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

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
BENCHMARK(BM_TrimLog)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace
