// Writes a LOG and its generations for measuring the extraction tool, every entry made by a real ping run
// over the scripted network and written by the program's own writers.
//   OrvexLogGen <folder> [megabytes=200] [files=101] [hosts=3] [mixed|flapping]
// Three hosts give the usual mix of outcomes. More hosts ("h0001.example" ...) are pinged in every round,
// each with now and then a slow reply near the time-out. "flapping" makes every host fail every other
// round, which gives one outage per two rounds of each host.
#include "support/LogBuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <random>

using tevro::testing::LogBuilder;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: OrvexLogGen <folder> [megabytes=200] [files=101] [hosts=3] [mixed|flapping]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const qint64 megabytes = argc > 2 ? std::atoll(argv[2]) : 200;
    const int files = argc > 3 ? std::atoi(argv[3]) : 101;
    const int hostCount = argc > 4 ? std::atoi(argv[4]) : 3;
    const bool flapping = argc > 5 && std::strcmp(argv[5], "flapping") == 0;
    if (megabytes <= 0 || files < 1 || hostCount < 1 ||
        (argc > 5 && !flapping && std::strcmp(argv[5], "mixed") != 0) || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "OrvexLogGen: bad size, file count, host count, pattern or folder\n");
        return 2;
    }
    const qint64 perFile = megabytes * 1024 * 1024 / files;

    std::mt19937 random(17);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> replyMs(5, 80);
    std::uniform_int_distribution<int> slowMs(81, 7999);
    const QString gateway = QStringLiteral("gateway"), flaky = QStringLiteral("192.0.2.20"),
                  mail = QStringLiteral("mail.example");
    bool flakyDown = false;
    QStringList many;
    for (int i = 1; hostCount > 3 && i <= hostCount; ++i)
        many << QStringLiteral("h%1.example").arg(i, 4, 10, QLatin1Char('0'));
    std::vector<bool> down(static_cast<std::size_t>(hostCount), false);
    QDateTime now(QDate(2026, 1, 1), QTime(0, 0));

    // The oldest generation first, so that time runs forward through the files as it would have.
    for (int n = files - 1; n >= 0; --n) {
        const QString name =
            QDir(folder).filePath(n == 0 ? QStringLiteral("tevro.log")
                                         : QStringLiteral("tevro.log.%1").arg(n, 3, 10, QLatin1Char('0')));
        QFile::remove(name);
        LogBuilder log(name, now);
        log.StartRun();
        for (int round = 0;; ++round) {
            if (round % 32 == 0 && QFileInfo(name).size() >= perFile)
                break;
            auto tries = [&] {
                std::vector<int> times;
                for (int i = 0; i < 3; ++i)
                    times.push_back(percent(random) < 5 ? -1 : replyMs(random));
                if (times == std::vector<int>{-1, -1, -1})
                    times[0] = replyMs(random);
                return times;
            };
            if (flapping || !many.isEmpty()) {
                const QStringList hosts = many.isEmpty() ? QStringList{gateway, flaky, mail} : many;
                for (qsizetype h = 0; h < hosts.size(); ++h) {
                    const auto index = static_cast<std::size_t>(h);
                    const bool wasDown = down[index];
                    if (flapping)
                        down[index] = round % 2 == 0;
                    else
                        down[index] = wasDown ? percent(random) >= 30 : percent(random) < 3;
                    if (down[index]) {
                        log.Failure(hosts[h]);
                        continue;
                    }
                    // Now and then only the last try is answered, late.
                    log.Success(hosts[h],
                                percent(random) == 0 ? std::vector<int>{-1, -1, slowMs(random)} : tries());
                }
                log.Advance(60);
                continue;
            }
            if (percent(random) < 3)
                log.Failure(gateway);
            else
                log.Success(gateway, tries());
            flakyDown = flakyDown ? percent(random) >= 30 : percent(random) < 3;
            if (flakyDown)
                log.Failure(flaky);
            else
                log.Success(flaky, tries());
            const int roll = percent(random);
            if (roll < 1)
                log.SocketError(mail);
            else if (roll < 4)
                log.Failure(mail);
            else
                log.Success(mail, tries());
            log.Advance(60);
        }
        log.EndRun();
        now = log.Now().addSecs(3600);
    }
    return 0;
}
