// Entry formatting, result classes, filters and the trim of the message log.
#include "monitor/LogEntry.h"

#include "common/LocaleTime.h"
#include "engine/PingRun.h"

namespace tevro {

namespace {

const QChar kNoBreakSpace(0x00A0);

enum class EntryHead { None, Success, SuccessWithLoss, Failed };

EntryHead HeadFor(int resultCode, int packetLoss) {
    switch (resultCode) {
    case PING_NONE:
        return EntryHead::None;
    case PING_SUCCESS:
        return packetLoss == 0 ? EntryHead::Success : EntryHead::SuccessWithLoss;
    default:
        // VERSION_MISMATCH, SOCKET_ERROR, PING_FAILED; a code nobody defined is no success either.
        return EntryHead::Failed;
    }
}

QString ViewHead(EntryHead head) {
    // The label is padded with non-breaking spaces so the view keeps it as one coloured item.
    const auto label = [](const char* bgcolor, const char* text) -> QString {
        return QStringLiteral("<f style=\"bold\" color=\"255.255.255\" bgcolor=\"") % QLatin1String(bgcolor) %
               QStringLiteral("\">") % kNoBreakSpace % QLatin1String(text) % kNoBreakSpace %
               QStringLiteral("<f> ");
    };
    switch (head) {
    case EntryHead::Success:
        return label("0.128.0", "(SUCCESS)");
    case EntryHead::SuccessWithLoss:
        return label("255.128.0", "(SUCCESS)");
    case EntryHead::Failed:
        return label("255.0.0", "(FAILED)");
    case EntryHead::None:
        break;
    }
    return {};
}

QString FileHead(EntryHead head) {
    switch (head) {
    case EntryHead::Success:
    case EntryHead::SuccessWithLoss:
        return QStringLiteral("(SUCCESS) ");
    case EntryHead::Failed:
        return QStringLiteral("(FAILED) ");
    case EntryHead::None:
        break;
    }
    return {};
}

QString DateText(const QDateTime& now) {
    return now.toString(QStringLiteral("dd.MM.yyyy"));
}
QString TimeText(const QDateTime& now) {
    return ClockText(now.time(), TimeSeparator());
}

} // namespace

QString EscapeForView(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('<'), QStringLiteral("&gt#"));
    return escaped;
}

QString ViewEntry(int resultCode, int packetLoss, const QString& report, const QDateTime& now) {
    // Escape first: the indent marks put in for the tabs are the only tags the report may carry.
    QString body = EscapeForView(report);
    body.replace(QLatin1Char('\t'), QStringLiteral("<p tab=12>## "));
    return ViewHead(HeadFor(resultCode, packetLoss)) % QStringLiteral("<f style=\"bold\">") % DateText(now) %
           QStringLiteral("<f> (") % TimeText(now) % QStringLiteral("): ") % body % QLatin1Char('.');
}

QString FileEntry(int resultCode, int packetLoss, const QString& report, const QDateTime& now) {
    QString body = report;
    body.replace(QLatin1Char('\t'), QStringLiteral("   ## "));
    return FileHead(HeadFor(resultCode, packetLoss)) % DateText(now) % QStringLiteral(" (") % TimeText(now) %
           QStringLiteral("): ") % body % QLatin1Char('.');
}

QString BusySlotReport(int slot, const QString& host) {
    return QStringLiteral("**FAILURE** Thread #") % QString::number(slot) %
           QStringLiteral(" is still running!\r\n\tPinging of <") % host %
           QStringLiteral("> will be delayed until next timer tick is reached!");
}

QString GraphTitle(const QString& host, int resultCode, int meanTime) {
    if (resultCode == PING_SUCCESS)
        return QStringLiteral("Graph for <") % host % QStringLiteral(">\r\nLast ping mean-time ") %
               QString::number(meanTime) % QStringLiteral(" ms");
    return QStringLiteral("Graph for <") % host % QStringLiteral(">\r\nLast ping attempt failed");
}

QString AlertText(const QString& host) {
    return QStringLiteral("Status for <") % host % QStringLiteral(">:\r\nLast ping attempt failed.");
}

QString StatusPictureName(int resultCode) {
    switch (resultCode) {
    case VERSION_MISMATCH:
    case SOCKET_ERROR:
        return QStringLiteral("Socket_Error");
    case PING_FAILED:
        return QStringLiteral("Ping_Failed");
    case PING_SUCCESS:
        return QStringLiteral("Ping_Success");
    default:
        return {};
    }
}

bool LogFilters::Passes(int resultCode) const {
    switch (resultCode) {
    case PING_NONE:
        return true;
    case VERSION_MISMATCH:
    case SOCKET_ERROR:
        return addSocketError;
    case PING_FAILED:
        return addPingFailed;
    case PING_SUCCESS:
        return addPingSuccess;
    default:
        // Unknown codes are headed as failures; the socket-error class is the closest filter.
        return addSocketError;
    }
}

int TrimLog(TrimmableLog& log) {
    int removed = 0;
    if (log.DocumentSize() < kLogTrimStart)
        return removed;
    for (int size = log.DocumentSize(); size >= kLogTrimTarget;) {
        log.DeleteFirstParagraph();
        const int after = log.DocumentSize();
        // A view that cannot shrink any further must not hold the GUI thread forever.
        if (after >= size)
            break;
        size = after;
        ++removed;
    }
    return removed;
}

} // namespace tevro
