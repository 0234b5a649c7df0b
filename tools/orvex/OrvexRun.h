// The tool as a function: options, finding the LOG and its generations, reading them and writing the
// report. main() and the fuzz target both call in here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

inline constexpr char kDefaultLogName[] = "tevro.log";

struct Options {
    std::string output; // empty: standard output
    std::string logName = kDefaultLogName;
    bool csv = false;
    bool help = false;
};

// Fills `options` from the arguments after the program name; returns an error text, empty when fine.
std::string ParseOptions(const std::vector<std::string>& arguments, Options& options);

std::string HelpText();

// The LOG file and its numbered generations in `folder`, oldest (highest number) first, the LOG last.
std::vector<std::string> LogFilesOldestFirst(const std::string& folder, const std::string& logName);

class LogScanner;

// One LOG file to read: `read` feeds its bytes to the scanner, adds their number to `bytes` and answers
// false when the file could not be read.
struct LogSource {
    std::string name;
    std::function<bool(LogScanner& scanner, std::uint64_t& bytes)> read;
};

// Reads the sources in order and writes the report to `out`. Returns an exit code; `error` says why when
// it is not kExitOk. Nothing is written to `out` when there is too little data.
int Extract(const std::vector<LogSource>& sources, const Options& options, const std::string& folder,
            std::FILE* out, std::string& error);

// Runs the tool in the current folder. Messages go to `err`; returns the exit code: 0 when the report was
// written, 1 when there was too little data or a file failed, 2 for wrong arguments.
int Run(const std::vector<std::string>& arguments, std::FILE* err);

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

} // namespace orvex
