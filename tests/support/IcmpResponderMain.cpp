// tevro-icmp-responder [-6] [DELAY_MS]: answers echo requests (with -6 ICMPv6 ones) in the current
// network namespace after a set delay (switch the kernel's own answers off there first). Prints "ready"
// once listening; ends on SIGTERM or SIGINT.
#include "IcmpResponder.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const bool v6 = argc > 1 && std::string(argv[1]) == "-6";
    const int first = v6 ? 2 : 1;
    const int delay = argc > first ? std::atoi(argv[first]) : 0;
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr); // before the responder's thread inherits the mask

    tevro::testing::IcmpResponder responder;
    std::string error;
    if (!responder.Start(tevro::testing::IcmpResponder::Echo(delay), nullptr, &error,
                         v6 ? tevro::IpFamily::V6 : tevro::IpFamily::V4)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    responder.Stop();
    std::printf("answered %d requests\n", responder.RequestsSeen());
    return 0;
}
