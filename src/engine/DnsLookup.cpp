// The user's lookups: the direction, the socket library around them, and their threads.
#include "engine/DnsLookup.h"

#include <QMetaObject>
#include <QObject>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

namespace tevro {
namespace {

constexpr SocketVersion kLookupVersion{1, 1};

LookupAnswer Resolve(const std::string& host, Resolver& resolver, const StopSignal& stop) {
    using Kind = LookupAnswer::Kind;
    const LookupPlan plan = PlanLookup(host);
    if (!plan.reverse) {
        const HostLookup found = resolver.ByNameOfficial(host, stop);
        if (found.status == kLookupStopped || stop.Requested())
            return {};
        if (found.status != 0)
            return {Kind::NameFailed, found.status, {}, {}};
        return {Kind::NameResolved, 0, found.name.empty() ? host : found.name, AddressText(found.address)};
    }
    const auto name = resolver.ByAddress(plan.address, stop);
    if (stop.Requested())
        return {};
    if (!name)
        return {Kind::AddressUnnamed, 0, {}, AddressText(plan.address)};
    return {Kind::AddressResolved, 0, *name, AddressText(plan.address)};
}

} // namespace

LookupPlan PlanLookup(const std::string& host) {
    const in_addr_t address = ::inet_addr(host.c_str());
    if (address != INADDR_NONE)
        return {true, HostAddress::Ipv4(address)};
    if (LooksLikeIpv6(host)) {
        const Ipv6Literal literal = ParseIpv6Literal(host);
        if (literal.status == 0)
            return {true, literal.address};
    }
    return {false, {}};
}

LookupAnswer LookUpHost(const std::string& host, SocketLibrary& library, Resolver& resolver,
                        const StopSignal& stop) {
    const SocketLibraryStartup started = library.Startup(kLookupVersion);
    if (!started.ok)
        return {LookupAnswer::Kind::LibraryUnusable, started.error, {}, {}};
    LookupAnswer answer;
    if (started.granted == kLookupVersion)
        answer = Resolve(host, resolver, stop);
    else
        answer.kind = LookupAnswer::Kind::LibraryUnusable;
    library.Cleanup();
    return answer;
}

// Shared by the runner and its threads; a thread may outlive the runner when its lookup ignores a stop.
struct LookupRunner::State {
    std::mutex mutex;
    std::condition_variable ended;
    std::list<std::shared_ptr<StopSignal>> running; // one per live thread
    bool closed = false;                            // guarded by mutex
};

LookupRunner::LookupRunner(std::shared_ptr<SocketLibrary> library, std::shared_ptr<Resolver> resolver)
    : m_state(std::make_shared<State>()), m_library(std::move(library)), m_resolver(std::move(resolver)) {}

LookupRunner::~LookupRunner() {
    Shutdown();
}

void LookupRunner::Start(const std::string& host, QObject* context, Done done) {
    auto stop = std::make_shared<StopSignal>();
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->closed)
            return;
        m_state->running.push_back(stop);
    }
    auto body = [state = m_state, stop, host, library = m_library, resolver = m_resolver, context,
                 done = std::move(done)] {
        LookupAnswer answer = LookUpHost(host, *library, *resolver, *stop);
        std::lock_guard lock(state->mutex);
        // Posted under the lock: Shutdown, which comes before the context goes, cannot slip in between.
        if (!state->closed && answer.kind != LookupAnswer::Kind::Stopped) {
            QMetaObject::invokeMethod(
                context,
                [state, done, answer = std::move(answer)] {
                    bool closed;
                    {
                        std::lock_guard inner(state->mutex);
                        closed = state->closed;
                    }
                    if (!closed)
                        done(answer);
                },
                Qt::QueuedConnection);
        }
        state->running.remove(stop);
        state->ended.notify_all();
    };
    try {
        std::thread(body).detach(); // a copy: on failure body is still whole
    } catch (const std::system_error&) {
        // No thread to be had: the lookup blocks this thread instead of being lost.
        body();
    }
}

bool LookupRunner::Shutdown(int timeoutMs) {
    std::unique_lock lock(m_state->mutex);
    m_state->closed = true;
    for (const auto& stop : m_state->running)
        stop->Request();
    return m_state->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return m_state->running.empty(); });
}

int LookupRunner::Running() const {
    std::lock_guard lock(m_state->mutex);
    return static_cast<int>(m_state->running.size());
}

} // namespace tevro
