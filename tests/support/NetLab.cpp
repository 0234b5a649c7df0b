// Namespace and veth fixtures for real-network tests.
#include "NetLab.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tevro::testing {
namespace {

constexpr const char* kNetnsDir = "/run/netns/";
constexpr const char* kEtcDir = "/etc/netns/";

// Paths of the namespaces alive in this process, readable from a signal handler.
constexpr int kMaxLive = 32;
constexpr int kPathMax = 128;
char g_live[kMaxLive][kPathMax];
std::atomic<bool> g_used[kMaxLive];
std::mutex g_liveMutex;

// Files written into /etc/netns (and their folders, flagged), likewise.
constexpr int kMaxEtc = 64;
char g_etc[kMaxEtc][kPathMax];
std::atomic<bool> g_etcUsed[kMaxEtc];
std::atomic<bool> g_etcIsDir[kMaxEtc];

void RegisterEtc(const std::string& path, bool isDir) {
    std::lock_guard lock(g_liveMutex);
    for (int i = 0; i < kMaxEtc; ++i) {
        if (g_etcUsed[i].load() && path == g_etc[i])
            return;
    }
    for (int i = 0; i < kMaxEtc; ++i) {
        if (!g_etcUsed[i].load()) {
            std::snprintf(g_etc[i], kPathMax, "%s", path.c_str());
            g_etcIsDir[i].store(isDir);
            g_etcUsed[i].store(true);
            return;
        }
    }
}

void UnregisterEtc(const std::string& dir) {
    std::lock_guard lock(g_liveMutex);
    for (int i = 0; i < kMaxEtc; ++i) {
        if (g_etcUsed[i].load() && std::string(g_etc[i]).rfind(dir, 0) == 0)
            g_etcUsed[i].store(false);
    }
}

// A terminating signal skips destructors: unmount and unlink the namespaces' bind mounts (both
// async-signal-safe system calls), then die of the signal as intended.
void RemoveOnSignal(int signal) {
    // Files before their folders.
    for (bool dirs : {false, true}) {
        for (int i = 0; i < kMaxEtc; ++i) {
            if (g_etcUsed[i].load() && g_etcIsDir[i].load() == dirs)
                dirs ? ::rmdir(g_etc[i]) : ::unlink(g_etc[i]);
        }
    }
    for (int i = 0; i < kMaxLive; ++i) {
        if (g_used[i].load()) {
            ::umount2(g_live[i], MNT_DETACH);
            ::unlink(g_live[i]);
        }
    }
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

void InstallSignalCleanup() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGABRT, SIGSEGV, SIGQUIT}) {
            struct sigaction previous {};
            ::sigaction(s, nullptr, &previous);
            // Leave a handler someone else installed (a debugger, the test runner) alone.
            if (previous.sa_handler == SIG_DFL)
                std::signal(s, RemoveOnSignal);
        }
    });
}

int Register(const std::string& name) {
    std::lock_guard lock(g_liveMutex);
    const std::string path = kNetnsDir + name;
    for (int i = 0; i < kMaxLive; ++i) {
        if (!g_used[i].load()) {
            std::snprintf(g_live[i], kPathMax, "%s", path.c_str());
            g_used[i].store(true);
            return i;
        }
    }
    return -1;
}

void Unregister(const std::string& name) {
    std::lock_guard lock(g_liveMutex);
    const std::string path = kNetnsDir + name;
    for (int i = 0; i < kMaxLive; ++i) {
        if (g_used[i].load() && path == g_live[i])
            g_used[i].store(false);
    }
}

std::atomic<int> g_linkCounter{0};

} // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input) {
    CommandResult result;
    int in[2], out[2];
    if (argv.empty() || ::pipe2(in, O_CLOEXEC) != 0)
        return result;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return result;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (pid > 0) {
        std::signal(SIGPIPE, SIG_IGN);
        [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
    }
    ::close(in[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (pid < 0)
        return result;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool IsRoot() {
    return ::geteuid() == 0;
}

std::unique_ptr<NetNamespace> NetNamespace::Create(const std::string& prefix, const std::string& tag,
                                                   std::string* error) {
    InstallSignalCleanup();
    RemoveStaleNamespaces(prefix);
    const std::string name = prefix + "-" + std::to_string(::getpid()) + "-" + tag;
    const CommandResult added = RunCommand({"ip", "netns", "add", name});
    if (added.exitCode != 0) {
        if (error)
            *error = "ip netns add " + name + ": " + added.output;
        return nullptr;
    }
    Register(name);
    std::unique_ptr<NetNamespace> ns(new NetNamespace(name));
    const CommandResult up = ns->Exec({"ip", "link", "set", "lo", "up"});
    if (up.exitCode != 0) {
        if (error)
            *error = "lo up in " + name + ": " + up.output;
        return nullptr;
    }
    return ns;
}

NetNamespace::~NetNamespace() {
    RunCommand({"ip", "netns", "delete", m_name});
    Unregister(m_name);
    std::error_code ec;
    std::filesystem::remove_all(kEtcDir + m_name, ec);
    UnregisterEtc(kEtcDir + m_name);
}

bool NetNamespace::WriteEtcFile(const std::string& file, const std::string& content, std::string* error) {
    const std::string dir = kEtcDir + m_name;
    const std::string path = dir + "/" + file;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    RegisterEtc(dir, true);
    RegisterEtc(path, false);
    FILE* out = ec ? nullptr : std::fopen(path.c_str(), "w");
    bool ok = out != nullptr && std::fwrite(content.data(), 1, content.size(), out) == content.size();
    if (out != nullptr)
        ok = std::fclose(out) == 0 && ok;
    if (!ok && error)
        *error = path + ": " + (ec ? ec.message() : std::string(std::strerror(errno)));
    return ok;
}

CommandResult NetNamespace::Exec(std::vector<std::string> argv, const std::string& input) const {
    argv.insert(argv.begin(), {"ip", "netns", "exec", m_name});
    return RunCommand(argv, input);
}

bool NetNamespace::Sysctl(const std::string& key, const std::string& value) const {
    return Exec({"sysctl", "-q", "-w", key + "=" + value}).exitCode == 0;
}

bool NetNamespace::Nft(const std::string& ruleset, std::string* error) const {
    const CommandResult r = Exec({"nft", "-f", "-"}, ruleset);
    if (r.exitCode != 0 && error)
        *error = r.output;
    return r.exitCode == 0;
}

bool NetNamespace::Enter(const std::function<void()>& fn) const {
    const int target = ::open((kNetnsDir + m_name).c_str(), O_RDONLY | O_CLOEXEC);
    const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    bool ok = target >= 0 && home >= 0 && ::setns(target, CLONE_NEWNET) == 0;
    if (ok) {
        fn();
        ok = ::setns(home, CLONE_NEWNET) == 0;
    }
    if (target >= 0)
        ::close(target);
    if (home >= 0)
        ::close(home);
    return ok;
}

bool LinkNamespaces(const NetNamespace& a, const std::string& addressA, const NetNamespace& b,
                    const std::string& addressB, std::string* error) {
    // The names only exist inside the two namespaces, so they need not be unique machine-wide.
    const std::string n = std::to_string(g_linkCounter++);
    const std::string endA = "tva" + n, endB = "tvb" + n;
    const auto fail = [error](const std::string& what, const CommandResult& r) {
        if (error)
            *error = what + ": " + r.output;
        return false;
    };
    CommandResult r = RunCommand({"ip", "link", "add", endA, "netns", a.Name(), "type", "veth", "peer",
                                  "name", endB, "netns", b.Name()});
    if (r.exitCode != 0)
        return fail("veth " + endA + "/" + endB, r);
    for (const auto& [ns, end, address] : {std::tuple{&a, endA, addressA}, std::tuple{&b, endB, addressB}}) {
        const bool v6 = address.find(':') != std::string::npos;
        std::vector<std::string> add = {"ip", "addr", "add", address + (v6 ? "/64" : "/24"), "dev", end};
        if (v6)
            add.push_back("nodad");
        if ((r = ns->Exec(add)).exitCode != 0)
            return fail("address " + address, r);
        if ((r = ns->Exec({"ip", "link", "set", end, "up"})).exitCode != 0)
            return fail("up " + end, r);
    }
    // The kernel lets packets through a new link only once its link watcher has seen the carrier, up
    // to a second later; until then the first neighbour query is lost and the first try times out.
    for (const auto& [ns, end] : {std::pair{&a, endA}, std::pair{&b, endB}}) {
        for (int i = 0; (r = ns->Exec({"ip", "-o", "link", "show", "dev", end})).output.find("state UP") ==
                        std::string::npos;
             ++i) {
            if (i == 150)
                return fail("carrier of " + end, r);
            ::usleep(20000);
        }
    }
    return true;
}

void RemoveStaleNamespaces(const std::string& prefix) {
    std::error_code ec;
    // Named <prefix>-<pid>-<tag>, with that process gone.
    const auto stale = [&prefix, &ec](const std::filesystem::directory_entry& entry) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix + "-", 0) != 0)
            return false;
        const std::string rest = name.substr(prefix.size() + 1);
        const std::string pid = rest.substr(0, rest.find('-'));
        return !pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos &&
               !std::filesystem::exists("/proc/" + pid, ec);
    };
    for (const auto& entry : std::filesystem::directory_iterator(kNetnsDir, ec)) {
        if (stale(entry))
            RunCommand({"ip", "netns", "delete", entry.path().filename().string()});
    }
    for (const auto& entry : std::filesystem::directory_iterator(kEtcDir, ec)) {
        if (stale(entry))
            std::filesystem::remove_all(entry.path(), ec);
    }
}

std::string CopiesAnyoneMayRun(const std::string& prefix, const std::vector<std::string>& files) {
    std::string dir = "/tmp/" + prefix + "-XXXXXX";
    if (!::mkdtemp(dir.data()))
        return {};
    std::filesystem::permissions(dir, std::filesystem::perms(0755));
    for (const std::string& file : files) {
        const auto copy = std::filesystem::path(dir) / std::filesystem::path(file).filename();
        std::filesystem::copy_file(file, copy);
        std::filesystem::permissions(copy, std::filesystem::perms(0755));
    }
    return dir;
}

} // namespace tevro::testing
