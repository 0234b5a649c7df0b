// tevro-stand-in-logind: owns org.freedesktop.login1 on the system bus that DBUS_SYSTEM_BUS_ADDRESS names
// and emits PrepareForSleep(true) for each line "sleep" on its standard input, (false) for "wake". For
// trying the program's sleep handling by hand against a bus of one's own.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "tevro-stand-in-logind: cannot own org.freedesktop.login1 on the system bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char line[64] = {};
        const ssize_t got = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (got <= 0) {
            QCoreApplication::quit();
            return;
        }
        const QByteArray word = QByteArray(line, static_cast<qsizetype>(got)).trimmed();
        if (word != "sleep" && word != "wake")
            return;
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << (word == "sleep");
        bus.send(signal);
        std::printf("PrepareForSleep(%s)\n", word == "sleep" ? "true" : "false");
        std::fflush(stdout);
    });
    return app.exec();
}
