// Network namespaces and veth links of a test's own, for tests that send real packets as root.
// Every namespace is named <prefix>-<pid>-<tag> and removed, with its files in /etc/netns, on every way
// out: the destructor, a terminating signal, or (after a hard kill) the next test run that finds its
// process gone.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tevro::testing {

struct CommandResult {
    int exitCode = -1;  // -1: could not be started or did not end normally
    std::string output; // stdout and stderr together
};

// Runs argv (no shell) and waits; input goes to its standard input.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = {});

bool IsRoot();

class NetNamespace {
public:
    // Creates the namespace with its loopback up; nullptr (and the reason in error) when refused.
    static std::unique_ptr<NetNamespace> Create(const std::string& prefix, const std::string& tag,
                                                std::string* error);
    ~NetNamespace();
    NetNamespace(const NetNamespace&) = delete;
    NetNamespace& operator=(const NetNamespace&) = delete;

    const std::string& Name() const { return m_name; }

    // Runs a command inside the namespace ("ip netns exec").
    CommandResult Exec(std::vector<std::string> argv, const std::string& input = {}) const;
    bool Sysctl(const std::string& key, const std::string& value) const;
    // Loads an nftables ruleset (nft -f -) into the namespace.
    bool Nft(const std::string& ruleset, std::string* error = nullptr) const;

    // Writes /etc/netns/<name>/<file> ("hosts", "resolv.conf"), which "ip netns exec" mounts over
    // /etc/<file> for the commands it runs; removed with the namespace, on every way out.
    bool WriteEtcFile(const std::string& file, const std::string& content, std::string* error = nullptr);

    // Runs fn with the calling thread inside the namespace: sockets it opens, and threads it
    // starts, belong to the namespace. False when the thread could not enter or come back.
    bool Enter(const std::function<void()>& fn) const;

private:
    explicit NetNamespace(std::string name) : m_name(std::move(name)) {}
    std::string m_name;
};

// Joins two namespaces with a veth pair: addressA/addressB with a /24 prefix (IPv6: /64, usable at
// once without duplicate address detection), both ends up.
bool LinkNamespaces(const NetNamespace& a, const std::string& addressA, const NetNamespace& b,
                    const std::string& addressB, std::string* error);

// Removes the namespaces with this prefix whose process has ended.
void RemoveStaleNamespaces(const std::string& prefix);

// A new folder /tmp/<prefix>-XXXXXX holding copies of `files` that any user may run, for tests that run
// them as nobody, who may not reach into the build tree. Empty when the folder could not be made.
std::string CopiesAnyoneMayRun(const std::string& prefix, const std::vector<std::string>& files);

} // namespace tevro::testing
