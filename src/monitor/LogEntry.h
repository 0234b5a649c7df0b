// The two forms of a message-log entry (markup for the view, plain text for the LOG file), the result
// classes behind their heads, pictures and filters, and the trim that keeps the view small.
#pragma once

#include <QDateTime>
#include <QString>

namespace tevro {

// Makes a text safe as running text of the view: every "<" becomes the view's own escape ("&gt#"), so a
// host text or a resolver's name can neither vanish as an unknown tag nor open a tag of its own.
QString EscapeForView(const QString& text);

// "<f style="bold">dd.mm.yyyy<f> (hh:nn:ss): <report>." with a coloured head, tabs as indented "## ".
QString ViewEntry(int resultCode, int packetLoss, const QString& report, const QDateTime& now);

// "(SUCCESS) dd.mm.yyyy (hh:nn:ss): <report>." with tabs as "   ## ".
QString FileEntry(int resultCode, int packetLoss, const QString& report, const QDateTime& now);

// The entry for a slot whose worker of an earlier cycle still runs when its turn comes again.
QString BusySlotReport(int slot, const QString& host);
// The graph window's title after a result of the graphed slot.
QString GraphTitle(const QString& host, int resultCode, int meanTime);
// What the alert window says about a failed ping.
QString AlertText(const QString& host);

// Resource name of a slot's status picture for a result, empty when the result sets no picture.
QString StatusPictureName(int resultCode);
inline constexpr char kNoStatusPicture[] = "Bitmap_None";

// The view's three class filters (the log file ignores them). Informational entries always pass.
struct LogFilters {
    bool addSocketError = true;
    bool addPingFailed = true;
    bool addPingSuccess = false;

    bool Passes(int resultCode) const;
};

// The parts of the log view that the trim needs. Abstract so a test can stand in for the view.
class TrimmableLog {
public:
    virtual ~TrimmableLog() = default;
    virtual int DocumentSize() const = 0;
    virtual void DeleteFirstParagraph() = 0;
};

inline constexpr int kLogTrimStart = 524288;
inline constexpr int kLogTrimTarget = 32768;

// Drops the oldest paragraphs once the view has reached kLogTrimStart, until it is below kLogTrimTarget.
// Returns the number of paragraphs removed.
int TrimLog(TrimmableLog& log);

} // namespace tevro
