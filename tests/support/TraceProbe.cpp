// tevro-trace-probe HOST: the path to HOST traced as the program traces it, with the log entry's text
// and the time the trace took on standard output. Used by the net tests (also as an ordinary user)
// and by scripts/measure-trace-path.
#include "engine/TracePath.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s HOST\n", argv[0]);
        return 2;
    }
    const tevro::StopSignal stop;
    const auto start = std::chrono::steady_clock::now();
    const tevro::TraceResult result =
        tevro::TracePath(QString::fromLocal8Bit(argv[1]), tevro::PingEnvironment::System(), stop);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    QString report = tevro::TraceReport(result);
    report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::printf("%s\nelapsed=%.1f ms\n", qPrintable(report), took.count());
    return 0;
}
