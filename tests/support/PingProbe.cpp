// tevro-ping-probe [--identifier N] [--stop-after MS] HOST [TIMEOUT DATASIZE TTL COUNT]: one ping through a
// TPing worker, as the program makes it, with the report on standard output. Used by the net tests (as an
// ordinary user) and the round-trip measurement. --identifier fixes the echo identifier (two probes can
// then send the same one); --stop-after shuts the worker down after MS ms, as the window does when it
// closes, and prints how long that took.
#include "engine/TPing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    tevro::PingEnvironment environment = tevro::PingEnvironment::System();
    int stopAfter = -1;
    while (args.size() >= 3 && args[1].startsWith(QStringLiteral("--"))) {
        bool ok = false;
        const int value = args[2].toInt(&ok);
        if (args[1] == QStringLiteral("--identifier") && ok && value >= 0 && value <= 0xFFFF)
            environment.identifier = static_cast<std::uint16_t>(value);
        else if (args[1] == QStringLiteral("--stop-after") && ok && value >= 0)
            stopAfter = value;
        else
            break;
        args.remove(1, 2);
    }
    if (args.size() != 2 && args.size() != 6) {
        std::fprintf(stderr,
                     "usage: %s [--identifier N] [--stop-after MS] HOST [TIMEOUT DATASIZE TTL COUNT]\n",
                     argv[0]);
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
        group, args[1], numbers[0], numbers[1], numbers[2], numbers[3],
        [](const tevro::PingResult& r) {
            QString report = r.Report;
            report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            std::printf("%s\nresult=%d min=%d max=%d mean=%d loss=%d\n", qPrintable(report), r.ResultCode,
                        r.MinTime, r.MaxTime, r.MeanTime, r.PacketLoss);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        },
        environment);
    ping->Resume();
    if (stopAfter >= 0) {
        QTimer::singleShot(stopAfter, &app, [&group] {
            QElapsedTimer elapsed;
            elapsed.start();
            const bool ended = group.Shutdown(1000);
            std::printf("stopped=%d in %lld ms\n", ended ? 1 : 0, static_cast<long long>(elapsed.elapsed()));
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }
    return app.exec();
}
