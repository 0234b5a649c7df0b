// The style "attack": when the program asks for it, it writes to $TEVRO_ATTACK_REPORT its process's
// effective capabilities and whether it could open a packet socket and raw ICMP sockets, then hands
// the program an ordinary style so that it runs on.
#include <QProxyStyle>
#include <QStylePlugin>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <linux/if_ether.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string Try(int domain, int type, int protocol) {
    const int fd = ::socket(domain, type, protocol);
    if (fd < 0)
        return std::string("refused (") + std::strerror(errno) + ")";
    ::close(fd);
    return "OPENED";
}

void Report() {
    const char* path = std::getenv("TEVRO_ATTACK_REPORT");
    if (path == nullptr)
        return;
    std::string capEff = "unknown";
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("CapEff:", 0) == 0)
            capEff = line.substr(line.find_first_not_of(" \t", 7));
    }
    std::ofstream out(path);
    out << "CapEff " << capEff << "\n"
        << "AF_PACKET " << Try(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL)) << "\n"
        << "raw ICMP " << Try(AF_INET, SOCK_RAW, IPPROTO_ICMP) << "\n"
        << "raw ICMPv6 " << Try(AF_INET6, SOCK_RAW, IPPROTO_ICMPV6) << "\n";
}

} // namespace

class AttackStylePlugin final : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "attack.json")
public:
    QStyle* create(const QString&) override {
        Report();
        return new QProxyStyle(QStringLiteral("Fusion"));
    }
};

#include "AttackStyle.moc"
