// tevro-ping-probe HOST [TIMEOUT DATASIZE TTL COUNT]: one ping through a TPing worker, as the program
// makes it, with the report on standard output. Used by the net tests (as an ordinary user) and the
// round-trip measurement.
#include "engine/TPing.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 6) {
        std::fprintf(stderr, "usage: %s HOST [TIMEOUT DATASIZE TTL COUNT]\n", argv[0]);
        return 2;
    }
    int numbers[4] = {1000, 32, 32, 3};
    for (int i = 0; i < 4 && args.size() == 6; ++i) {
        bool ok = false;
        numbers[i] = args[2 + i].toInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "not a number: %s\n", qPrintable(args[2 + i]));
            return 2;
        }
    }
    tevro::PingGroup group;
    auto* ping = new TPing(
        group, args[1], numbers[0], numbers[1], numbers[2], numbers[3], [](const tevro::PingResult& r) {
            QString report = r.Report;
            report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            std::printf("%s\nresult=%d min=%d max=%d mean=%d loss=%d\n", qPrintable(report), r.ResultCode,
                        r.MinTime, r.MaxTime, r.MeanTime, r.PacketLoss);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    ping->Resume();
    return app.exec();
}
