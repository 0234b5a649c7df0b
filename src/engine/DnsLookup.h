// The user's lookup of a host text: a dotted or IPv6 address is looked up backwards (address to name),
// anything else forwards (name to address). The answer is plain data; LookupRunner runs lookups off
// the GUI thread, since a resolver may take many seconds.
#pragma once

#include "engine/Resolver.h"
#include "engine/SocketLibrary.h"
#include "engine/StopSignal.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QObject;

namespace tevro {

// Which way a host text is looked up.
struct LookupPlan {
    bool reverse = false; // a dotted or IPv6 address: address to name
    HostAddress address;  // when reverse
};

// The text counts as a dotted address when inet_addr takes it: so "127.1" and "0x7f.0.0.1" do, and
// "255.255.255.255", which inet_addr cannot tell from a failure, does not. An IPv6 literal counts too,
// with or without brackets and zone.
LookupPlan PlanLookup(const std::string& host);

struct LookupAnswer {
    enum class Kind {
        LibraryUnusable, // the socket library did not start, or not as version 1.1
        NameFailed,      // a name that did not resolve
        NameResolved,    // a name and its first address
        AddressResolved, // a dotted address and its name
        AddressUnnamed,  // a dotted address without a name
        Stopped,         // given up for a stop request: nobody wants the answer
    };
    Kind kind = Kind::Stopped;
    int status = 0;      // NameFailed: the resolver's error code
    std::string name;    // NameResolved, AddressResolved: the official name
    std::string address; // NameResolved, AddressResolved, AddressUnnamed: the address as text
};

// The whole lookup on the calling thread, with the socket library (version 1.1) started before and
// released after it.
LookupAnswer LookUpHost(const std::string& host, SocketLibrary& library, Resolver& resolver,
                        const StopSignal& stop);

// Runs each lookup on a thread of its own and hands the answer to a callback on the thread of a
// context object. Used from that one thread.
class LookupRunner {
public:
    using Done = std::function<void(const LookupAnswer&)>;

    LookupRunner(std::shared_ptr<SocketLibrary> library, std::shared_ptr<Resolver> resolver);
    ~LookupRunner(); // shuts down
    LookupRunner(const LookupRunner&) = delete;
    LookupRunner& operator=(const LookupRunner&) = delete;

    // `done` runs later on context's thread, unless the runner has been shut down by then. The
    // context must not be destroyed before Shutdown.
    void Start(const std::string& host, QObject* context, Done done);

    // No answer is handed over from now on. Stops the running lookups (a resolver call that cannot be
    // cancelled is abandoned) and waits up to timeoutMs for their threads; true when all have ended.
    bool Shutdown(int timeoutMs = 1000);
    int Running() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::shared_ptr<SocketLibrary> m_library;
    std::shared_ptr<Resolver> m_resolver;
};

} // namespace tevro
