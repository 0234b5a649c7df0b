// Storage for what the report lists in full (outages, downtime table lines) that keeps the tool's memory
// bounded whatever the LOG's size: temporary files, or memory when none can be made.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// Text lines, read back in the order written.
class TextSpool {
public:
    TextSpool();
    ~TextSpool();
    TextSpool(const TextSpool&) = delete;
    TextSpool& operator=(const TextSpool&) = delete;

    void Add(std::string_view line);
    std::uint64_t Count() const { return m_count; }
    // Calls `each` for every line in order; may be called more than once.
    void ForEach(const std::function<void(std::string_view)>& each);

private:
    std::FILE* m_file = nullptr;
    std::string m_memory;
    std::uint64_t m_count = 0;
};

// One run of a host's consecutive unsuccessful rounds.
struct Outage {
    std::uint32_t host = 0;
    std::uint32_t rounds = 0;
    std::int64_t first = 0; // moment of the first failed round
    std::int64_t end = 0;   // first successful round after it, or the last failed one when not ended
    std::uint8_t ended = 0; // 1 when a successful round ended it
    // Its length, measured across clock steps and UTC offset changes, without sleep and local outages.
    std::int64_t seconds = 0;
};

// An outage's length in seconds; a clock set back during it gives no negative length.
inline std::int64_t Length(const Outage& outage) {
    return outage.seconds > 0 ? outage.seconds : 0;
}

// Outages in LOG order, read back grouped by host.
class OutageStore {
public:
    static constexpr std::size_t kMemoryRecords = 1 << 18; // 8 MB

    // Up to `memoryRecords` outages are kept in memory, the rest on disk.
    explicit OutageStore(std::size_t memoryRecords = kMemoryRecords);
    ~OutageStore();
    OutageStore(const OutageStore&) = delete;
    OutageStore& operator=(const OutageStore&) = delete;

    void Add(const Outage& outage);
    // Calls `each` for every outage, hosts in ascending order and each host's outages in LOG order.
    // `perHost[h]` is the number of outages added for host h. Returns false when the disk failed.
    bool ForEachByHost(const std::vector<std::uint64_t>& perHost,
                       const std::function<void(const Outage&)>& each);

private:
    std::FILE* m_file = nullptr;
    std::size_t m_memoryRecords;
    std::vector<Outage> m_memory;
    std::uint64_t m_count = 0;
    bool m_failed = false;
};

} // namespace orvex
