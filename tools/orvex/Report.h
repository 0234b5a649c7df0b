// The two output forms: a plain-text report for a text editor and CSV rows for a spreadsheet.
#pragma once

#include "HostStats.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orvex {

struct FileRead {
    std::string name;
    std::uint64_t bytes = 0;
    std::uint64_t rounds = 0;
    ScanCounts counts;
};

struct ReportInput {
    std::string folder;
    std::vector<FileRead> files; // oldest first
    std::string lineEnd;         // "\r\n" or "\n"
};

// Each returns false when writing to `out` failed.
bool WriteTextReport(std::FILE* out, HostCollector& collected, const ReportInput& input);
bool WriteCsvReport(std::FILE* out, HostCollector& collected, const ReportInput& input);

// "dd.mm.yyyy (hh:nn:ss)", the LOG's own form of a moment.
std::string FormatMoment(std::int64_t seconds);
// "hh:nn:ss" with the total hours, at least two digits.
std::string FormatLength(std::int64_t seconds);
// Valid UTF-8 with every control character and broken sequence replaced by U+FFFD.
std::string CleanText(std::string_view bytes);

} // namespace orvex
