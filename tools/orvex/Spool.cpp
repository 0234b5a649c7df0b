// Outages stay in memory up to a limit and are sorted there. Beyond it they go to disk and are sorted by
// host with a counting sort: every host's slot range is known from the counts, so each record is written
// once to its place and the result read once in order. Records gather per host and go to their place a
// block at a time: one write call per record made the sort slower than reading the LOG.
#include "Spool.h"

#include <algorithm>
#include <unistd.h>

namespace orvex {
namespace {

constexpr std::size_t kBlock = 4096;         // records per read, and at most per write
constexpr std::size_t kSortBuffer = 1 << 18; // records waiting for their write, over all hosts (6 MB)

bool PutAt(int fd, const Outage* outages, std::size_t count, std::uint64_t index) {
    const auto* bytes = reinterpret_cast<const char*>(outages);
    std::size_t left = count * sizeof(Outage);
    auto offset = static_cast<off_t>(index * sizeof(Outage));
    while (left > 0) {
        const ssize_t done = ::pwrite(fd, bytes, left, offset);
        if (done <= 0)
            return false;
        bytes += done;
        left -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

} // namespace

TextSpool::TextSpool() : m_file(std::tmpfile()) {
    if (m_file != nullptr)
        std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
}

TextSpool::~TextSpool() {
    if (m_file != nullptr)
        std::fclose(m_file);
}

void TextSpool::Add(std::string_view line) {
    ++m_count;
    if (m_file != nullptr) {
        std::fwrite(line.data(), 1, line.size(), m_file);
        std::fputc('\n', m_file);
    } else {
        m_memory.append(line);
        m_memory.push_back('\n');
    }
}

void TextSpool::ForEach(const std::function<void(std::string_view)>& each) {
    if (m_file == nullptr) {
        std::string_view rest = m_memory;
        for (std::size_t nl = rest.find('\n'); nl != std::string_view::npos; nl = rest.find('\n')) {
            each(rest.substr(0, nl));
            rest.remove_prefix(nl + 1);
        }
        return;
    }
    std::fflush(m_file);
    std::rewind(m_file);
    std::string line;
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, m_file) != nullptr) {
        line.append(buffer);
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            each(line);
            line.clear();
        }
    }
    std::fseek(m_file, 0, SEEK_END);
}

OutageStore::OutageStore(std::size_t memoryRecords)
    : m_memoryRecords(std::max<std::size_t>(1, memoryRecords)) {}

OutageStore::~OutageStore() {
    if (m_file != nullptr)
        std::fclose(m_file);
}

void OutageStore::Add(const Outage& outage) {
    ++m_count;
    if (m_file == nullptr) {
        m_memory.push_back(outage);
        if (m_memory.size() < m_memoryRecords)
            return;
        // Too many to keep: from now on they go to disk. Without a temporary file they stay in memory.
        m_file = std::tmpfile();
        if (m_file == nullptr)
            return;
        std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
        if (std::fwrite(m_memory.data(), sizeof(Outage), m_memory.size(), m_file) != m_memory.size())
            m_failed = true;
        std::vector<Outage>().swap(m_memory);
        return;
    }
    if (std::fwrite(&outage, sizeof outage, 1, m_file) != 1)
        m_failed = true;
}

bool OutageStore::ForEachByHost(const std::vector<std::uint64_t>& perHost,
                                const std::function<void(const Outage&)>& each) {
    if (m_file == nullptr) {
        std::stable_sort(m_memory.begin(), m_memory.end(),
                         [](const Outage& a, const Outage& b) { return a.host < b.host; });
        for (const Outage& outage : m_memory)
            each(outage);
        return true;
    }
    if (m_failed || std::fflush(m_file) != 0)
        return false;

    // Host h's outages go to [cursor[h], end[h]).
    std::vector<std::uint64_t> cursor(perHost.size()), end(perHost.size());
    std::uint64_t total = 0;
    for (std::size_t h = 0; h < perHost.size(); ++h) {
        cursor[h] = total;
        total += perHost[h];
        end[h] = total;
    }
    std::FILE* sorted = std::tmpfile();
    if (sorted == nullptr)
        return false;

    // Host h's records wait in waiting[first[h] ..first[h + 1]): as many as it has, up to its share.
    const std::size_t hosts = perHost.size();
    const std::size_t share =
        std::clamp<std::size_t>(kSortBuffer / std::max<std::size_t>(1, hosts), 1, kBlock);
    std::vector<std::size_t> first(hosts + 1), filled(hosts);
    for (std::size_t h = 0; h < hosts; ++h)
        first[h + 1] = first[h] + static_cast<std::size_t>(std::min<std::uint64_t>(share, perHost[h]));
    std::vector<Outage> waiting(first[hosts]);
    const int fd = fileno(sorted);
    const auto flush = [&](std::size_t h) {
        const std::size_t count = filled[h];
        filled[h] = 0;
        const bool written = PutAt(fd, waiting.data() + first[h], count, cursor[h]);
        cursor[h] += count;
        return written;
    };

    std::vector<Outage> block(kBlock);
    bool ok = true;
    std::rewind(m_file);
    for (std::size_t got; ok && (got = std::fread(block.data(), sizeof(Outage), kBlock, m_file)) > 0;) {
        for (std::size_t i = 0; ok && i < got; ++i) {
            const Outage& outage = block[i];
            const std::size_t h = outage.host;
            ok = h < hosts && cursor[h] + filled[h] < end[h];
            if (!ok)
                break;
            waiting[first[h] + filled[h]++] = outage;
            if (first[h] + filled[h] == first[h + 1])
                ok = flush(h);
        }
    }
    for (std::size_t h = 0; ok && h < hosts; ++h)
        ok = flush(h);
    std::fseek(m_file, 0, SEEK_END);

    std::rewind(sorted);
    for (std::size_t got; ok && (got = std::fread(block.data(), sizeof(Outage), kBlock, sorted)) > 0;) {
        for (std::size_t i = 0; i < got; ++i)
            each(block[i]);
    }
    std::fclose(sorted);
    return ok;
}

} // namespace orvex
