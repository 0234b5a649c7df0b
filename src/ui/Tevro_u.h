// The main window: three host rows, the run state, the message log, the help page and the status line.
// Its methods are spread over several files; each section below names the file that holds its bodies.
#pragma once

#include "ui/MessageBox.h"

#include <QDateTime>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimer;
class QToolButton;
class TPing;
class TRichView;
class TWinTaskbar;

namespace tevro {
class AnchorLayout;
class Gauge;
class GraphFeed;
class PingWorkerFactory;
class Resolver;
class SocketLibrary;
class SettingsAutosave;
class SettingsStore;
class SpinEdit;
class RouteTable;
struct LookupAnswer;
struct PingResult;
struct PingEnvironment;
struct TraceResult;
} // namespace tevro

// The controls of one host row; `_0n` in the control names is the row's slot number.
struct TSlotRow {
    QLabel* Status = nullptr;         // Status_0n: status picture
    QCheckBox* Active = nullptr;      // Active_0n: the slot is pinged
    QLineEdit* Url = nullptr;         // Url_0n: host name or dotted address
    QPushButton* UrlLookup = nullptr; // Url_0n_lookup: the "?" button
    QRadioButton* Graph = nullptr;    // Graph_0n: the graphed slot
    tevro::SpinEdit* TimeOut = nullptr;
    tevro::SpinEdit* DataSize = nullptr;
    tevro::SpinEdit* TTL = nullptr;
    tevro::SpinEdit* Count = nullptr;
};

// What the window takes from its surroundings; tests replace the parts that touch the user's machine.
struct TevroEnvironment {
    QString logFileName;              // empty: beside the program file
    QStringList arguments;            // the command line, program first; empty: the process's own
    std::function<QDateTime()> clock; // empty: the system clock
    // Shows a message box and returns the button pressed; empty: a real dialog.
    std::function<QMessageBox::StandardButton(const QString& text, tevro::MessageKind kind,
                                              QMessageBox::StandardButtons buttons, bool centred)>
        messageBox;
    // Opens a document with the desktop's handler, answering as LaunchFile does; empty: xdg-open.
    std::function<int(const QString& file)> openDocument;
    // Hands a web or mail link to the desktop; false when nothing took it. Empty: the desktop's handlers.
    std::function<bool(const QString& address)> openUrl;
    // Why the program goes on without the session bus (it did not answer at start); empty: the bus, if
    // there is one, carries the notifications.
    QString withoutSessionBus;
};

// A command of the window menu: its number, and the result its handler sets.
struct TSysCommandMessage {
    int CmdType = 0;
    qintptr Result = 0;
};

class TF_Tevro : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSlotCount = 3;
    static constexpr int kConnectionNoticeKey = 0; // the notifications of the local network, beside the slots

    explicit TF_Tevro(TevroEnvironment environment = {}, QWidget* parent = nullptr);
    ~TF_Tevro() override;

    // ---- The window itself: bodies in ui/Tevro_u.cpp ----

    // Row of slot 1..3.
    TSlotRow& Row(int slot) { return m_rows.at(static_cast<size_t>(slot - 1)); }
    const TSlotRow& Row(int slot) const { return m_rows.at(static_cast<size_t>(slot - 1)); }

    void UpdateRunButton();
    void EnableSlotRow(int slot, bool enable);
    void SelectSingleGraph();
    void B_RunStopClick();
    void LOG_ClearMsgClick();
    void B_DispHelpClick();
    void B_CloseHelpClick();
    void SB_GraphClick();
    void SB_AlertClick();
    void Url_Change(int slot);
    void WinTaskbarDblClick();
    void mi_CloseTevroClick();

    bool IsRunning() const; // Timer1 enabled
    // Window caption, tray tip and graph caption always carry the same text.
    void SetCaptions(const QString& caption);
    // Shows the named status picture in the slot's Status_0n.
    void SetStatusPicture(int slot, const QString& resourceName);
    QString StatusPicture(int slot) const;
    // Checks or unchecks a Graph button; the three stay exclusive but may all be unchecked.
    void SetGraphChecked(int slot, bool checked);
    // The slot whose Graph button is checked, 0 for none.
    int GraphedSlot() const;

    // The program's message box: beside the window, or centred while the program is minimised.
    QMessageBox::StandardButton ShowMessageBox(const QString& text, tevro::MessageKind kind,
                                               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                               int helpContext = 0);
    // The same dialog, always centred on the screen.
    QMessageBox::StandardButton
    ShowCenteredMessageBox(const QString& text, tevro::MessageKind kind,
                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    // An OK box that returns at once and leaves the window working; it goes when the user closes it.
    void ShowMessageBoxWithoutWaiting(const QString& text, tevro::MessageKind kind);

    void ShowHintInStatusLine(const QString& hint);
    // The graph window, once it exists (it is created after this window).
    void SetGraphWindow(QWidget* graphWindow);
    QWidget* GraphWindow() const { return m_graphWindow; }
    // The current moment, from the environment's clock.
    QDateTime Now() const;

    // ---- Info commands: bodies in ui/InfoCommands.cpp; the tray: ui/TevroTray.cpp ----

    void HandleSysCommand(TSysCommandMessage& message);
    void DoSysCommand(int command);
    void OpenUrl(const QString& address); // an error box when no browser takes it

    // ---- Settings: bodies in ui/TevroSettings.cpp ----

    // Load: false with a report naming every value that could not be used (each takes its default).
    // Save: false with a message naming the value when the store fails.
    bool LoadSettings(QString& error);
    bool SaveSettings(QString& error);
    // Also writes the settings a few seconds after the user changes one (from the first load on); the
    // graph and alert windows take part with their own values.
    tevro::SettingsAutosave* Autosave();

private:
    void WatchSettingChanges();
    tevro::SettingsAutosave* m_autosave = nullptr; // a child of this window

public:
    // ---- Start-up and shutdown: bodies in ui/TevroStartup.cpp ----

    void FormCreate();
    void FormShow();
    void FormDestroy();
    // The program is ending (a signal or a logout): from now on no close query asks anything.
    void BeginEnding() { m_ending = true; }
    bool IsEnding() const { return m_ending; }
    // The help page's text, built once at start-up.
    void BuildHelpPage();
    // The markup lines that head the help page, before the "Help_Text" resource.
    static QStringList HelpPageHeadLines();
    // Label_Copyright's text: the product line over three lines.
    static QString CopyrightLabelText();

    // ---- Scheduler and result processing: bodies in TevroScheduler.cpp, TevroResults.cpp
    // ----

    void Timer1Timer(QObject* sender); // no sender: start a cycle at once
    void PingNext();
    bool StartPing(int slot); // answers whether the slot is active
    void Active_Click(int slot);
    // sender: the finished worker as PingThread holds it; null for an informational entry. meanTimeUs:
    // the exact mean behind meanTime, -1 when only the whole milliseconds are known.
    void PingDone(const void* sender, int resultCode, int minTime, int maxTime, int meanTime, int packetLoss,
                  const QString& report, qint64 meanTimeUs = -1);
    void Graph_Click(int slot);
    void ShowAlert(int mode, const QString& text);

    // Workers are made through this factory; tests put scripted workers in place of real pings. The
    // window does not own `factory`, which must outlive it; null brings back the real TPing workers.
    void SetPingWorkerFactory(tevro::PingWorkerFactory* factory);
    // Stops the cycle timer and the running workers; no result is handed over after it. Runs by
    // itself when the application is about to quit and when the window is destroyed.
    void ShutdownPingWorkers();
    // The graph window's feed, or null while there is no graph window that takes one.
    tevro::GraphFeed* GraphFeedTarget() const;
    // Makes the alert window (owned by `owner`; a QDialog is shown modally in configuration mode).
    // TF_Alert unless a test puts another in; empty: alerts do nothing.
    std::function<QWidget*(QWidget* owner)> AlertWindowMaker;
    QWidget* AlertWindow() const;

    // ---- Host up/down state and desktop notifications: bodies in ui/TevroNotifications.cpp ----

    // Records a slot's result in its host's up/down state, tells the desktop when the host goes
    // down or comes back, and answers whether the alert of a failed round is due.
    bool TrackHostState(int slot, int resultCode, qint64 meanTimeUs, const QString& report);
    // Rounds in a row before a host counts as down (and alerts) or up again, 1..10, and whether the
    // desktop is told; kept with the settings.
    void SetHostStateSettings(int alertAfterFailures, int recoverAfterSuccesses, bool notify);
    int AlertAfterFailures() const;
    int RecoverAfterSuccesses() const;
    bool NotifyEnabled() const;
    // "AlertAfterFailures", "RecoverAfterSuccesses" and "Notify", read and written with the others.
    void LoadHostStateSettings(tevro::SettingsStore& store);
    void SaveHostStateSettings(tevro::SettingsStore& store);
    // A slot's host state starts afresh (its row was unticked, its host changed) and its "not
    // answering" notification goes; without a slot, every host's (monitoring stopped).
    void ForgetHostState(int slot);
    void ForgetHostStates();
    // The status picture's hint: the failed rounds in a row and where the alert stands.
    void ShowHostStateHint(int slot);
    // Starts the notifications' own thread and its bus connection, unless the program goes on without
    // the session bus or there is none.
    void StartDesktopNotifier();
    static constexpr char kStatusHint[] = "|Status: red is SOCKET_ERROR, yellow is PING_FAILED, green is success";

    // ---- Path traces of hosts that stopped answering: bodies in ui/TevroPathTrace.cpp ----

    // Traces the path to the slot's host beside the scheduler when it has just gone down after a
    // round whose pings went unanswered, unless tracing is off.
    void StartPathTrace(int slot, int resultCode);
    // Sends the "down" notification, or holds it back while the slot's trace runs, so that it can
    // name the last hop that answered.
    void NotifyHostDown(int slot, const QString& summary, const QString& body);
    // The slot's next round begins: a trace still running is abandoned (the hops so far are logged).
    void AbandonPathTrace(int slot);
    bool PathTraceRunning(int slot) const;
    // "TracePath", kept with the settings: on by default; off sends no probe to any router.
    void SetTracePathEnabled(bool enabled);
    bool TracePathEnabled() const;
    // Tests put a scripted outside world in place before the first trace; empty: the system's.
    void SetPathTraceEnvironment(std::function<tevro::PingEnvironment()> environment);

    int NextSlot = 0;
    int LastResultCode = 0;
    std::array<const void*, kSlotCount> PingThread{}; // PingThread_01..03 at index slot - 1

private:
    // The scheduler's own state (worker factory, timer grid, alert window), made on first use.
    struct MonitorState;
    MonitorState& Monitor();
    void FeedGraph(int slot, int resultCode, int meanTime, qint64 meanTimeUs, int packetLoss);
    void AddLogEntry(const QString& markup);
    void PathTraced(int slot, int id, const tevro::TraceResult& result);
    void SendHeldDownNotification(int slot, const QString& lastHop);
    std::shared_ptr<MonitorState> m_monitor; // shared_ptr: its type is complete only in the monitor files

public:
    // ---- Figures for Prometheus: bodies in ui/TevroMetrics.cpp ----

    // The textfile written after every round and when monitoring starts or stops; empty: none. Kept
    // with the settings ("MetricsFile"). Setting another path writes it at once.
    void SetMetricsFile(const QString& path);
    QString MetricsFile() const;
    void LoadMetricsSettings(tevro::SettingsStore& store);
    void SaveMetricsSettings(tevro::SettingsStore& store);
    // Counts a slot's finished ping (host: the text pinged) and writes the file.
    void RecordMetrics(int slot, const QString& host, const tevro::PingResult& result);

private:
    struct MetricsState;
    MetricsState& Metrics();
    void WriteMetrics();
    // Writes the file again when it is in use: the local network or sleep changed between rounds.
    void RefreshMetrics();
    std::shared_ptr<MetricsState> m_metrics; // shared_ptr: its type is complete only in TevroMetrics.cpp
public:
    // ---- Whose fault a failed round is, sleep and clock changes: bodies in ui/TevroAvailability.cpp ----

    // Writes the UTC offset into the LOG and starts listening for logind's announcements of sleep.
    void StartAvailabilityWatch();
    // The computer is about to sleep (true) or has woken up (false).
    void PrepareForSleep(bool start);
    // The local network was found down and no host has answered since; the computer sleeps.
    bool LocalNetworkDown() const;
    bool Asleep() const;
    // Tests put a routing table of their own in place (not owned; null: the kernel's), and monotonic
    // clocks in milliseconds (the second counts through suspend) that go with the window's clock.
    void SetRouteTable(tevro::RouteTable* routes);
    void SetAvailabilityClocks(std::function<qint64()> monotonicMs, std::function<qint64()> boottimeMs);

    // The scheduler's and result processing's calls. BeginRound: false while no round may start (the
    // computer sleeps, or waits for its network after waking). AvailabilityBeforeEntry: looks at the
    // clocks before an entry is written; false for a result of a round abandoned by a sleep.
    bool BeginRound(bool runningStarts);
    void RoundWorkerStarted(const void* worker);
    void NoteResultAddress(const void* worker, const tevro::PingResult& result);
    bool AvailabilityBeforeEntry(const void* sender);
    // A slot's result for its host's up/down state: at once, or held until its round is judged.
    void JudgeInRound(const void* sender, int slot, int resultCode, qint64 meanTimeUs, const QString& report);
    void HostRoundResult(int slot, int resultCode, qint64 meanTimeUs, const QString& report);

private:
    struct AvailabilityState;
    AvailabilityState& Availability();
    void WatchClocks();
    void ComputerSleeps();
    void ComputerWoke(qint64 sleptMs, bool announced);
    void AbandonRound();
    void PingGateways();
    void GatewayAnswered(const void* worker, bool answered);
    void FinishRoundCheck();
    void LocalNetworkBack();
    void NetworkWaitTick();
    void ConnectionNotice(const QString& summary, const QString& body, bool urgent);
    std::shared_ptr<AvailabilityState> m_availability; // shared_ptr: complete only in its own file

public:
    // ---- Host entry and lookup: bodies in ui/HostLookup.cpp ----

    void Url_Exit(int slot);        // removes protocol prefixes, with a warning each
    void Url_lookupClick(int slot); // looks the host up off the GUI thread
    bool LookupRunning(int slot) const;
    // Tests put scripted ones in place before the first lookup.
    void SetLookupServices(std::shared_ptr<tevro::SocketLibrary> library,
                           std::shared_ptr<tevro::Resolver> resolver);
    // No lookup answer is handed over after it; runs when the application quits and in FormDestroy.
    void ShutdownLookups();

private:
    struct LookupState;
    LookupState& Lookups();
    void ConnectHostEntry();
    void LookupAnswered(int slot, const tevro::LookupAnswer& answer);
    std::shared_ptr<LookupState> m_lookup;

public:
    // ---- LOG file and downtime table: bodies in ui/TevroLogging.cpp ----

    // Beside the program file when its folder is writable, else in the user's data folder; the file
    // name is the program's, lower-cased, with ".log" in place of its extension.
    static QString DefaultLogFileName();
    // Moves the previous run's LOG aside; WriteStartupLogLines reports how that went.
    void RotateLogFiles();
    void WriteStartupLogLines();
    // Open, append, close. A line that cannot be written leaves nothing behind; the message log tells
    // of the first line lost and of the return to working order.
    void WriteLogLine(const QString& text);
    // The message log's header: where the LOG goes, or why it cannot be written there.
    QString LogHeaderReport();
    // A fresh table: closed, no period open.
    void ResetDowntimeTable();
    void OpenDowntimeTable();
    void CloseDowntimeTable();
    void UpdateDowntime(int resultCode);
    bool DowntimeTableOpen() const;
    QDateTime DowntimeStart() const; // invalid while no period is open
    // Tests set the monotonic milliseconds behind the table's period lengths; the wall-clock moments
    // come from Now().
    void SetDowntimeMonotonicClock(std::function<qint64()> milliseconds);
    // That clock's reading: outages elsewhere are measured on it too, so they read as the table does.
    qint64 DowntimeMonotonicMs();

    QString LogFileName;

    // ---- Log extraction: bodies in ui/TevroOrvex.cpp ----

    bool OrvexAvailable(); // looks for the extraction tool once; SB_Orvex is enabled when it is there
    void SB_OrvexClick();

private:
    struct LogState;
    struct LogStateDeleter {
        void operator()(LogState* state) const;
    };
    LogState& Log();
    std::unique_ptr<LogState, LogStateDeleter> m_logState;
    struct OrvexState;
    std::shared_ptr<OrvexState> m_orvex; // shared_ptr: its type is complete only in TevroOrvex.cpp

public:
    // ---- Controls (objectName = the name of the member) ----

    QStackedWidget* Notebook1 = nullptr;
    QWidget* Page_Ping = nullptr;
    QWidget* Page_Help = nullptr;
    QLabel* Status_Bar = nullptr;

    QLabel* Status_dsc = nullptr;
    QLabel* Url_dsc = nullptr;
    QLabel* TimeOut_dsc = nullptr;
    QLabel* DataSize_dsc = nullptr;
    QLabel* TTL_dsc = nullptr;
    QLabel* Count_dsc = nullptr;

    QFrame* Bevel1 = nullptr;
    QLabel* Label3 = nullptr;
    tevro::Gauge* Gauge1 = nullptr;
    TRichView* Memo_Log = nullptr;
    QLabel* Label_Intervall_a = nullptr;
    tevro::SpinEdit* SpinEdit_Intervall = nullptr;
    QLabel* Label_Intervall_b = nullptr;
    QToolButton* SB_Orvex = nullptr;
    QToolButton* SB_Alert = nullptr;
    QToolButton* SB_Graph = nullptr;
    QPushButton* B_DispHelp = nullptr;
    QPushButton* B_RunStop = nullptr;

    QLabel* Image1 = nullptr;
    QLabel* Label_Copyright = nullptr;
    QFrame* Bevel_2a = nullptr;
    TRichView* Memo_Copyright = nullptr;
    QFrame* Bevel_2b = nullptr;
    QPushButton* B_CloseHelp = nullptr;

    QTimer* Timer1 = nullptr;
    int Timer1Tag = 0; // 5-second ticks left until the next ping cycle

    QMenu* PopupMenu1 = nullptr;
    QAction* Add_SOCKET_ERROR = nullptr;
    QAction* Add_PING_FAILED = nullptr;
    QAction* Add_PING_SUCCESS = nullptr;
    QAction* LOG_ClearMsg = nullptr;

    QMenu* PopupMenu2 = nullptr;
    QAction* mi_RestoreTevro = nullptr;
    QAction* mi_CloseTevro = nullptr;
    QAction* mi_Feedback_Info = nullptr;
    QAction* mi_Feedback_DoIt = nullptr;
    QAction* mi_BugReport_Info = nullptr;
    QAction* mi_BugReport_DoIt = nullptr;
    QAction* mi_About_Info = nullptr;
    QAction* mi_About_OpenWebsite = nullptr;
    TWinTaskbar* WinTaskbar = nullptr;
    QMenu* SystemMenu = nullptr; // the info commands, where a title bar menu would offer them

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildPingPage();
    void BuildHelpPageControls();
    void BuildMenus();
    void SetTabOrder();
    void ConnectHandlers();
    void BuildInfoMenu();
    void BuildTrayIcon();
    // Hands an address or a document to the desktop; `failed` runs, later or at once, when nothing took it.
    void OpenWithDesktop(const QString& target, std::function<void()> failed);
    void OpenMailLink(const QString& link);
    // Follows the widget under the mouse and passes hint changes to ShowHintInStatusLine.
    void TrackHint(const QString& hint);
    // `wait`: modal, returning the button pressed; otherwise shown without a wait, answering NoButton.
    QMessageBox::StandardButton RunMessageBox(const QString& text, tevro::MessageKind kind,
                                              QMessageBox::StandardButtons buttons, bool centred,
                                              bool wait = true);
    QMessageBox* MakeMessageBox(const QString& text, tevro::MessageKind kind,
                                QMessageBox::StandardButtons buttons, bool centred);

    TevroEnvironment m_env;
    std::array<TSlotRow, kSlotCount> m_rows{};
    QButtonGroup* m_graphGroup = nullptr;
    tevro::AnchorLayout* m_pingAnchors = nullptr;
    tevro::AnchorLayout* m_helpAnchors = nullptr;
    QPointer<QWidget> m_graphWindow;
    QString m_currentHint;
    bool m_firstShow = true;
    bool m_ending = false;
    // Entries of the start-up (settings that could not be used, a silent session bus): in the LOG once,
    // and in the message log also after "-ToRunning" has cleared it.
    QStringList m_startupNotes;
    void AddStartupNote(QString text);
};
