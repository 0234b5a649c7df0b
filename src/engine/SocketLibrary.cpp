// The POSIX socket library: always available, version 2.1 at most.
#include "engine/SocketLibrary.h"

namespace tevro {
namespace {
constexpr SocketVersion kHighest{2, 1};

class PosixSocketLibrary final : public SocketLibrary {
public:
    SocketLibraryStartup Startup(SocketVersion requested) override {
        const bool above = requested.major > kHighest.major ||
                           (requested.major == kHighest.major && requested.minor > kHighest.minor);
        return {true, 0, above ? kHighest : requested};
    }
    void Cleanup() override {}
};
} // namespace

std::shared_ptr<SocketLibrary> SystemSocketLibrary() {
    static const auto library = std::make_shared<PosixSocketLibrary>();
    return library;
}

} // namespace tevro
