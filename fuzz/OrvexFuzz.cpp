// libFuzzer entry for the extraction tool: any bytes, as one to four LOG files fed in pieces of any size,
// read and reported in either form without a crash, a leak or undefined behaviour.
#include "LogScanner.h"
#include "OrvexRun.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::FILE* sink = std::fopen("/dev/null", "wb");
    if (size < 2 || sink == nullptr)
        return 0;
    orvex::Options options;
    options.csv = (data[0] & 0x80) != 0;
    const std::size_t files = data[0] % 4 + 1;
    const std::size_t piece = data[1] % 64 + 1; // bytes per Feed, so lines cross the pieces
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    std::vector<orvex::LogSource> sources;
    const std::size_t share = bytes.size() / files;
    for (std::size_t f = 0; f < files; ++f) {
        const std::string_view file =
            f + 1 == files ? bytes.substr(f * share) : bytes.substr(f * share, share);
        sources.push_back({"tevro.log." + std::to_string(files - f),
                           [file, piece](orvex::LogScanner& scanner, std::uint64_t& read) {
                               for (std::size_t at = 0; at < file.size(); at += piece)
                                   scanner.Feed(file.substr(at, piece));
                               read += file.size();
                               return true;
                           }});
    }
    std::string error;
    orvex::Extract(sources, options, "fuzz", sink, error);
    return 0;
}
