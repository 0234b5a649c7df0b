// Start-up and release of the socket library, with the version it grants. POSIX sockets need no
// start-up; the object exists so that a failed start-up and an old version can be tested.
#pragma once

#include <memory>

namespace tevro {

struct SocketVersion {
    int major = 0;
    int minor = 0;
    friend bool operator==(const SocketVersion&, const SocketVersion&) = default;
};

struct SocketLibraryStartup {
    bool ok = false;
    int error = 0;         // when !ok
    SocketVersion granted; // when ok
};

// Abstract so it can be replaced in tests.
class SocketLibrary {
public:
    virtual ~SocketLibrary() = default;
    virtual SocketLibraryStartup Startup(SocketVersion requested) = 0;
    virtual void Cleanup() = 0; // once for every successful Startup
};

// Grants what is asked for, up to version 2.1.
std::shared_ptr<SocketLibrary> SystemSocketLibrary();

} // namespace tevro
