// The report replaces its file in one rename: a reader never sees half a report, and a failed run leaves
// an earlier report untouched.
#include "OrvexRun.h"

#include "HostStats.h"
#include "LogScanner.h"
#include "Report.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {
namespace {

std::string Errno() {
    return std::strerror(errno);
}

// The generation number of "<logName>.NNN" (three or more digits), or -1.
long GenerationNumber(std::string_view name, std::string_view logName) {
    if (name.size() < logName.size() + 4 || name.substr(0, logName.size()) != logName ||
        name[logName.size()] != '.')
        return -1;
    const std::string_view digits = name.substr(logName.size() + 1);
    if (digits.size() > 9)
        return -1;
    long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadFile(const std::string& path, LogScanner& scanner, std::uint64_t& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    static std::vector<char> buffer(32 * 1024); // stays in the cache between the copy and the scan
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        bytes += static_cast<std::uint64_t>(got);
        scanner.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    }
    ::close(fd);
    return ok;
}

// The LOG file among `names` (in the current folder) that `output` is, whatever name leads there (another
// spelling, a link): the report must never replace what it is made from. Empty when none.
std::string ReadFileAt(const std::string& output, const std::vector<std::string>& names) {
    struct stat target {};
    if (::stat(output.c_str(), &target) != 0)
        return {};
    for (const std::string& name : names) {
        struct stat read {};
        if (::stat(name.c_str(), &read) == 0 && read.st_dev == target.st_dev && read.st_ino == target.st_ino)
            return name;
    }
    return {};
}

std::string CurrentFolder() {
    std::vector<char> path(4096);
    while (::getcwd(path.data(), path.size()) == nullptr) {
        if (errno != ERANGE || path.size() > (1u << 20))
            return ".";
        path.resize(path.size() * 2);
    }
    return path.data();
}

// Writes the report beside `output` under a temporary name, then moves it into place.
int WriteOutput(const std::vector<LogSource>& sources, const Options& options, const std::string& folder,
                std::string& error) {
    const std::size_t slash = options.output.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string(".") : options.output.substr(0, slash + 1);
    std::string temp = (dir.back() == '/' ? dir : dir + '/') + ".orvex-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot write in the folder of \"" + options.output + "\": " + Errno();
        return kExitFailed;
    }
    // mkstemp makes the file private; a report is as readable as any file the user creates.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    std::FILE* out = ::fdopen(fd, "wb");
    if (out == nullptr) {
        ::close(fd);
        ::unlink(temp.c_str());
        error = "cannot write \"" + temp + "\": " + Errno();
        return kExitFailed;
    }
    const int code = Extract(sources, options, folder, out, error);
    const bool closed = std::fclose(out) == 0;
    if (code == kExitOk && !closed)
        error = "cannot write \"" + options.output + "\": " + Errno();
    if (code != kExitOk || !closed || ::rename(temp.c_str(), options.output.c_str()) != 0) {
        if (code == kExitOk && closed)
            error = "cannot create \"" + options.output + "\": " + Errno();
        ::unlink(temp.c_str());
        return code != kExitOk ? code : kExitFailed;
    }
    return kExitOk;
}

} // namespace

std::string ParseOptions(const std::vector<std::string>& arguments, Options& options) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        auto value = [&](std::string_view option, std::string& into) -> std::string {
            if (arg.size() > option.size()) {
                into = arg.substr(arg.size() > option.size() && arg[option.size()] == '=' ? option.size() + 1
                                                                                          : option.size());
            } else if (i + 1 < arguments.size()) {
                into = arguments[++i];
            }
            return into.empty() ? "option " + std::string(option) + " needs a file name" : std::string();
        };
        std::string problem;
        if (arg == "--help" || arg == "-h")
            options.help = true;
        else if (arg == "--csv")
            options.csv = true;
        else if (arg.rfind("-o", 0) == 0 && arg.rfind("--", 0) != 0)
            problem = value("-o", options.output);
        else if (arg.rfind("-l", 0) == 0 && arg.rfind("--", 0) != 0)
            problem = value("-l", options.logName);
        else
            problem = "unknown argument \"" + arg + "\"";
        if (!problem.empty())
            return problem;
    }
    if (options.logName.find('/') != std::string::npos)
        return "the LOG name (-l) is a file name without a folder";
    return {};
}

std::string HelpText() {
    return "Usage: orvex [-o<report>] [--csv] [-l<log name>]\n"
           "Run in the folder of Tevro's LOG file. Reads the LOG (tevro.log) and all its numbered\n"
           "generations there, oldest first, and writes a per-host report: rounds, successes, failures\n"
           "and socket errors, availability, reply times, packet loss, each host's own outages, and the\n"
           "downtime table of the LOG.\n"
           "\n"
           "Rounds made while the local network was down (Tevro found no route, a silent gateway or a\n"
           "link without carrier for every failed host) count for no host; they are listed as local\n"
           "outages. Sleep periods are listed too, and a coverage line gives the time monitored against\n"
           "the whole period. Lengths follow the LOG's clock steps and UTC offset entries, so neither a\n"
           "clock set by hand nor daylight saving time makes them negative or an hour off.\n"
           "\n"
           "  -o<report>     write the report to this file (default: standard output); the file is\n"
           "                 replaced only when a report was made, and never when it is one of the\n"
           "                 LOG files read\n"
           "  --csv          write CSV instead: a 'host' row per host (seconds = total outage time)\n"
           "                 followed by an 'outage' row per outage of that host; then a 'period' row\n"
           "                 (seconds = its length), a 'coverage' row (seconds = time monitored,\n"
           "                 availability_pct = its share), a 'local_outage' row per local outage\n"
           "                 (host = the reason) and a 'sleep' row per sleep period\n"
           "  -l<log name>   read this LOG name instead of tevro.log\n"
           "  --help         show this text\n"
           "\n"
           "Exit status: 0 report written; 1 too few data (no complete ping entry: nothing is written)\n"
           "or a file could not be read or written; 2 wrong arguments (a -o file that is a LOG file too).\n";
}

std::vector<std::string> LogFilesOldestFirst(const std::string& folder, const std::string& logName) {
    std::vector<std::pair<long, std::string>> generations;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const long n = GenerationNumber(entry->d_name, logName);
            if (n >= 0 && IsRegularFile(folder + '/' + entry->d_name))
                generations.emplace_back(n, entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(generations.begin(), generations.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> files;
    for (auto& [n, name] : generations)
        files.push_back(std::move(name));
    if (IsRegularFile(folder + '/' + logName))
        files.push_back(logName);
    return files;
}

int Extract(const std::vector<LogSource>& sources, const Options& options, const std::string& folder,
            std::FILE* out, std::string& error) {
    HostCollector collected;
    LogScanner scanner(collected);
    ReportInput input;
    input.folder = folder;
    for (const LogSource& source : sources) {
        FileRead file;
        file.name = source.name;
        const std::uint64_t before = collected.Rounds();
        scanner.StartFile();
        const bool ok = source.read(scanner, file.bytes);
        scanner.EndFile();
        if (!ok) {
            error = "cannot read \"" + source.name + "\": " + Errno();
            return kExitFailed;
        }
        file.counts = scanner.Counts();
        file.rounds = collected.Rounds() - before;
        input.files.push_back(std::move(file));
    }
    collected.Finish();
    if (collected.Rounds() == 0) {
        error = "too few data: no complete ping entry in the LOG files";
        return kExitFailed;
    }
    input.lineEnd = scanner.LineEnd().empty() ? "\r\n" : std::string(scanner.LineEnd());
    const bool written =
        options.csv ? WriteCsvReport(out, collected, input) : WriteTextReport(out, collected, input);
    if (!written) {
        error = "cannot write the report: " + Errno();
        return kExitFailed;
    }
    return kExitOk;
}

int Run(const std::vector<std::string>& arguments, std::FILE* err) {
    Options options;
    const std::string problem = ParseOptions(arguments, options);
    if (!problem.empty()) {
        std::fprintf(err, "orvex: %s\nTry 'orvex --help'.\n", problem.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }

    const std::string folder = CurrentFolder();
    const std::vector<std::string> names = LogFilesOldestFirst(".", options.logName);
    if (const std::string read = ReadFileAt(options.output, names);
        !options.output.empty() && !read.empty()) {
        std::fprintf(err,
                     "orvex: the report would replace \"%s\", a LOG file it reads: choose another -o file\n",
                     read.c_str());
        return kExitUsage;
    }
    std::vector<LogSource> sources;
    for (const std::string& name : names) {
        sources.push_back({name, [name](LogScanner& scanner, std::uint64_t& bytes) {
                               return ReadFile(name, scanner, bytes);
                           }});
    }
    if (sources.empty()) {
        std::fprintf(err, "orvex: too few data: no LOG file \"%s\" or generation of it in %s\n",
                     options.logName.c_str(), folder.c_str());
        return kExitFailed;
    }

    std::string error;
    const int code = options.output.empty() ? Extract(sources, options, folder, stdout, error)
                                            : WriteOutput(sources, options, folder, error);
    if (code != kExitOk)
        std::fprintf(err, "orvex: %s\n", error.c_str());
    return code;
}

} // namespace orvex
