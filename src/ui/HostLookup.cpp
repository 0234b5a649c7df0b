// Host entry of the main window: protocol prefixes removed when a host edit is left, and the "?"
// lookup, which runs off the GUI thread so that the window goes on working while a resolver waits.
#include "engine/DnsLookup.h"
#include "monitor/HostText.h"
#include "ui/Tevro_u.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringBuilder>
#include <QTimer>
#include <algorithm>
#include <array>

namespace {

// Checked in this order, case-sensitive.
const std::array<QString, 6> kPrefixes = {
    QStringLiteral("http://"), QStringLiteral("ftp://"),    QStringLiteral("mail://"),
    QStringLiteral("news://"), QStringLiteral("gopher://"), QStringLiteral("telnet://"),
};

const QString kNoData = QStringLiteral("No data available!");
const QString kCouldNotInitialize = QStringLiteral(
    "WSock32.dll: **Couldn't initialize**\r\rThe IP stack seems not to be configured properly");

QString PrefixWarning(const QString& prefix) {
    return QStringLiteral("** WARNING **\r\rSuppling a protocol (\"") % prefix %
           QStringLiteral("\") is neither necessary nor supported.");
}

QString AnswerHead(const QString& name, const QString& address) {
    return QStringLiteral("Domain name\t: <") % name % QStringLiteral(">\rIP address\t: <") % address %
           QStringLiteral(">\r\r");
}

// Lies over a row's "?" while its lookup runs: a disabled button shows its parent's cursor, not its own.
// A child of the window rather than of the page, so that the page's own layout never sees it.
class BusyCover final : public QWidget {
public:
    explicit BusyCover(QPushButton* button) : QWidget(button->window()), m_button(button) {
        setObjectName(button->objectName() + QStringLiteral("_busy"));
        setAttribute(Qt::WA_NoSystemBackground);
        setCursor(Qt::BusyCursor);
        hide();
        button->installEventFilter(this);
    }
    void Cover(bool on) {
        m_covering = on;
        Follow();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        // The layout moves the button when the window is resized; the help page hides it.
        const QEvent::Type type = event->type();
        if (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show || type == QEvent::Hide)
            Follow();
        return false;
    }

private:
    void Follow() {
        setGeometry(QRect(m_button->mapTo(parentWidget(), QPoint(0, 0)), m_button->size()));
        const bool show = m_covering && m_button->isVisible();
        setVisible(show);
        if (show)
            raise();
    }

    QPushButton* m_button;
    bool m_covering = false;
};

} // namespace

struct TF_Tevro::LookupState {
    std::shared_ptr<tevro::SocketLibrary> library = tevro::SystemSocketLibrary();
    std::shared_ptr<tevro::Resolver> resolver = tevro::SystemResolver();
    std::unique_ptr<tevro::LookupRunner> runner; // made at the first lookup
    std::array<QString, kSlotCount> lookedUp;    // the text of each row's running lookup
    std::array<bool, kSlotCount> running{};
    std::array<bool, kSlotCount> exitPending{}; // left by a mouse press; handled after its click
    std::array<BusyCover*, kSlotCount> covers{};
    // Where the focus went when a focused "?" was disabled, so that it can come back.
    std::array<QPointer<QWidget>, kSlotCount> focusMovedTo{};
    bool shutDown = false;

    tevro::LookupRunner& Runner() {
        if (!runner)
            runner = std::make_unique<tevro::LookupRunner>(library, resolver);
        return *runner;
    }
};

namespace {

// Leaving a host edit for another control of the window runs Url_Exit. When a mouse press moved the
// focus, the warning waits for the release: a box shown in between would swallow the click.
class HostEditWatcher final : public QObject {
public:
    HostEditWatcher(TF_Tevro* window, std::array<bool, TF_Tevro::kSlotCount>& pending)
        : QObject(window), m_window(window), m_pending(pending) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease && Pending()) {
            QTimer::singleShot(0, m_window, [this] { RunPending(); });
            return false;
        }
        if (event->type() != QEvent::FocusOut)
            return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window or a menu taking the focus does not leave the edit.
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return false;
        for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot) {
            if (watched != m_window->Row(slot).Url)
                continue;
            m_pending.at(static_cast<size_t>(slot - 1)) = true;
            if (QGuiApplication::mouseButtons() == Qt::NoButton)
                QTimer::singleShot(0, m_window, [this] { RunPending(); });
            else
                qApp->installEventFilter(this); // until the release
        }
        return false;
    }

private:
    bool Pending() const { return std::find(m_pending.begin(), m_pending.end(), true) != m_pending.end(); }

    void RunPending() {
        qApp->removeEventFilter(this);
        for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot) {
            bool& pending = m_pending.at(static_cast<size_t>(slot - 1));
            if (pending) {
                pending = false;
                m_window->Url_Exit(slot);
            }
        }
    }

    TF_Tevro* m_window;
    std::array<bool, TF_Tevro::kSlotCount>& m_pending;
};

} // namespace

TF_Tevro::LookupState& TF_Tevro::Lookups() {
    if (!m_lookup) {
        m_lookup = std::make_shared<LookupState>();
        if (QCoreApplication* app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, this, &TF_Tevro::ShutdownLookups);
    }
    return *m_lookup;
}

void TF_Tevro::ConnectHostEntry() {
    LookupState& lookups = Lookups();
    auto* watcher = new HostEditWatcher(this, lookups.exitPending);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const TSlotRow& row = Row(slot);
        row.Url->installEventFilter(watcher);
        lookups.covers.at(static_cast<size_t>(slot - 1)) = new BusyCover(row.UrlLookup);
        connect(row.UrlLookup, &QPushButton::clicked, this, [this, slot] { Url_lookupClick(slot); });
    }
}

void TF_Tevro::SetLookupServices(std::shared_ptr<tevro::SocketLibrary> library,
                                 std::shared_ptr<tevro::Resolver> resolver) {
    LookupState& lookups = Lookups();
    lookups.library = std::move(library);
    lookups.resolver = std::move(resolver);
}

void TF_Tevro::ShutdownLookups() {
    LookupState& lookups = Lookups();
    lookups.shutDown = true;
    if (lookups.runner)
        lookups.runner->Shutdown();
}

bool TF_Tevro::LookupRunning(int slot) const {
    return m_lookup && m_lookup->running.at(static_cast<size_t>(slot - 1));
}

void TF_Tevro::Url_Exit(int slot) {
    QLineEdit* edit = Row(slot).Url;
    for (const QString& prefix : kPrefixes) {
        if (!edit->text().contains(prefix))
            continue;
        ShowMessageBox(PrefixWarning(prefix), tevro::MessageKind::Warning);
        // Looked for again: the text may have changed while the warning was open.
        QString text = edit->text();
        const qsizetype at = text.indexOf(prefix);
        if (at >= 0)
            edit->setText(text.remove(at, prefix.size()));
    }
}

void TF_Tevro::Url_lookupClick(int slot) {
    LookupState& lookups = Lookups();
    const auto index = static_cast<size_t>(slot - 1);
    // The press on this button left the edit: its prefixes go before the lookup.
    if (lookups.exitPending.at(index)) {
        lookups.exitPending.at(index) = false;
        Url_Exit(slot);
    }
    if (lookups.shutDown || lookups.running.at(index))
        return;
    const TSlotRow& row = Row(slot);
    const QString host = row.Url->text();
    if (tevro::IsBlankText(host)) {
        ShowCenteredMessageBox(kNoData, tevro::MessageKind::Error);
        return;
    }
    lookups.running.at(index) = true;
    lookups.lookedUp.at(index) = host;
    const bool focused = row.UrlLookup->hasFocus();
    row.UrlLookup->setEnabled(false);
    lookups.focusMovedTo.at(index) = focused ? QApplication::focusWidget() : nullptr;
    lookups.covers.at(index)->Cover(true);
    // Looked up as it is pinged; the text as typed tells later whether the row was edited meanwhile.
    lookups.Runner().Start(tevro::HostForPing(host).toStdString(), this,
                           [this, slot](const tevro::LookupAnswer& answer) { LookupAnswered(slot, answer); });
}

void TF_Tevro::LookupAnswered(int slot, const tevro::LookupAnswer& answer) {
    using Kind = tevro::LookupAnswer::Kind;
    LookupState& lookups = Lookups();
    const auto index = static_cast<size_t>(slot - 1);
    const TSlotRow& row = Row(slot);
    const QString typed = lookups.lookedUp.at(index);
    const QString host = tevro::HostForPing(typed);
    lookups.running.at(index) = false;
    row.UrlLookup->setEnabled(true);
    lookups.covers.at(index)->Cover(false);
    if (lookups.focusMovedTo.at(index) != nullptr &&
        QApplication::focusWidget() == lookups.focusMovedTo.at(index))
        row.UrlLookup->setFocus();

    const QString name = QString::fromStdString(answer.name);
    const QString address = QString::fromStdString(answer.address);
    QString replacement;
    switch (answer.kind) {
    case Kind::Stopped:
        return;
    case Kind::LibraryUnusable:
        ShowCenteredMessageBox(kCouldNotInitialize, tevro::MessageKind::Error);
        return;
    case Kind::NameFailed:
        ShowCenteredMessageBox(
            host % QStringLiteral("\r\rGetHostByName() DNS lookup failed or invalid IP. Status: ") %
                QString::number(answer.status),
            tevro::MessageKind::Error);
        return;
    case Kind::AddressUnnamed:
        ShowCenteredMessageBox(AnswerHead(QStringLiteral("reverse lookup failed"), address) %
                                   QStringLiteral("The requested call failed."),
                               tevro::MessageKind::Error);
        return;
    case Kind::AddressResolved:
    case Kind::NameResolved: {
        const bool reverse = answer.kind == Kind::AddressResolved;
        const QString question = QStringLiteral("Would you like to replace the ") %
                                 (reverse ? QStringLiteral("IP address with it's domain name?")
                                          : QStringLiteral("domain name with it's IP address?"));
        if (ShowCenteredMessageBox(AnswerHead(name, address) % question, tevro::MessageKind::Information,
                                   QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        replacement = reverse ? name : address;
        break;
    }
    }
    // The user may have edited the row while the resolver worked: the newer text is not overwritten unasked.
    const QString now = row.Url->text();
    if (now != typed &&
        ShowCenteredMessageBox(
            QStringLiteral("** WARNING **\r\rThe host text has changed from <") % typed %
                QStringLiteral("> to <") % now % QStringLiteral("> since it was looked up.\r\rReplace <") %
                now % QStringLiteral("> with <") % replacement % QStringLiteral(">?"),
            tevro::MessageKind::Confirmation, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    row.Url->setText(replacement);
}
