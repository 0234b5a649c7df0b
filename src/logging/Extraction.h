// Running the LOG extraction tool: finding it, starting it in the LOG's folder without waiting for it,
// noticing its end, and telling its fresh output from a file left by an earlier run. No widgets.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace tevro {

inline constexpr char kExtractionTool[] = "orvex";
inline constexpr char kExtractionOutput[] = "Orvex.Out";

// The tool beside the program first, then on the search path; empty when neither has it.
QString FindExtractionTool(const QString& programFolder);

// The arguments the tool gets: the output file and, for a LOG not named "tevro.log", its name.
QStringList ExtractionArguments(const QString& logFileName);

// Enough of a file's identity to tell whether it was written between two looks at it.
struct FileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    static FileStamp Of(const QString& path);
    bool operator==(const FileStamp&) const = default;
};

// One run of the tool. It runs detached: dropping this object, or ending the program, leaves the tool
// to finish on its own.
class ExtractionRun {
public:
    enum class Outcome {
        Output,  // the tool wrote the output file during this run
        NoOutput // the tool ended without writing it (a file from before does not count)
    };
    using Done = std::function<void(Outcome outcome, const QString& outputPath)>;

    ExtractionRun();
    ~ExtractionRun();
    ExtractionRun(const ExtractionRun&) = delete;
    ExtractionRun& operator=(const ExtractionRun&) = delete;

    // Starts `tool` with `arguments` in `folder`; `done` runs on this thread's event loop once the tool
    // has ended. Returns false, and never calls `done`, when the tool could not be started.
    bool Start(const QString& tool, const QStringList& arguments, const QString& folder, Done done);
    bool Running() const;

private:
    struct Watch;
    std::unique_ptr<Watch> m_watch;
};

} // namespace tevro
