// The main window's controls, their layout and the rules that enable them; the run/stop switch,
// the help page switch, the status line and the message box.
#include "ui/Tevro_u.h"

#include "common/Product.h"
#include "common/Resources.h"
#include "monitor/HostText.h"
#include "richview/RichView.h"
#include "ui/Alert_u.h"
#include "ui/Anchors.h"
#include "ui/Gauge.h"
#include "ui/Hints.h"
#include "ui/LogCopy.h"
#include "ui/SpinEdit.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

using tevro::AnchorAll;
using tevro::AnchorBottom;
using tevro::AnchorLeft;
using tevro::AnchorRight;
using tevro::AnchorTop;

namespace {

// The page size the control coordinates are laid out for (a 420 x 300 window of the original layout).
const QSize kDesignPageSize(413, 254);
const QColor kAqua(0, 255, 255);
constexpr int kPingNone = 0;
constexpr int kTicksPerMinute = 60000 / 5000;

const QString kInactiveSchedule = QStringLiteral("By now there is'nt any event scheduled.");

QString SlotName(const char* pattern, int slot) {
    return QString::fromLatin1(pattern).arg(slot, 2, 10, QLatin1Char('0'));
}

template <typename T> T* Named(T* object, const QString& name) {
    object->setObjectName(name);
    return object;
}

QLabel* ColumnHead(QWidget* page, const QString& name, const QString& text) {
    auto* label = Named(new QLabel(text, page), name);
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, kAqua);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

QFrame* Bevel(QWidget* page, const QString& name, QFrame::Shape shape) {
    auto* bevel = Named(new QFrame(page), name);
    bevel->setFrameShape(shape);
    bevel->setFrameShadow(QFrame::Sunken);
    return bevel;
}

QIcon Glyph(const QString& name) {
    QIcon icon;
    const QString normal = tevro::ResourcePath(name);
    if (!normal.isEmpty())
        icon.addPixmap(QPixmap(normal), QIcon::Normal);
    const QString disabled = tevro::ResourcePath(name + QStringLiteral("_Disabled"));
    if (!disabled.isEmpty())
        icon.addPixmap(QPixmap(disabled), QIcon::Disabled);
    return icon;
}

QToolButton* SpeedButton(QWidget* page, const QString& name, const QString& glyph, bool toggle) {
    auto* button = Named(new QToolButton(page), name);
    button->setIcon(Glyph(glyph));
    button->setIconSize(QSize(16, 16));
    button->setCheckable(toggle);
    button->setFocusPolicy(Qt::NoFocus); // speed buttons never take the focus
    return button;
}

QAction* MenuItem(QMenu* menu, const QString& name, const QString& caption, const QString& hint = QString()) {
    auto* action = Named(menu->addAction(caption), name);
    if (!hint.isEmpty())
        tevro::SetHint(action, hint);
    return action;
}

TRichView* TextView(QWidget* page, const QString& name, const QColor& color, const QString& background) {
    auto* view = Named(new TRichView(page), name);
    view->SetColor(color);
    view->SetAutoGoLast(true);
    view->SetShowHidden(false);
    view->SetPanBackground(true);
    view->SetBackground(QPixmap(tevro::ResourcePath(background)));
    view->setFocusPolicy(Qt::StrongFocus);
    return view;
}

void MenuSeparator(QMenu* menu, const QString& name) {
    menu->addSeparator()->setObjectName(name);
}

} // namespace

TF_Tevro::TF_Tevro(TevroEnvironment environment, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_env(std::move(environment)) {
    setObjectName(QStringLiteral("F_Tevro"));
    // Every drawn size, so the title bar, task bar and tray each pick a sharp one.
    QIcon icon;
    for (const char* name : {"Tevro_Icon_16", "Tevro_Icon", "Tevro_Icon_64"})
        icon.addFile(tevro::ResourcePath(QString::fromLatin1(name)));
    setWindowIcon(icon);
    // The client area is wholly covered by the notebook and the status line: nothing to erase.
    setAttribute(Qt::WA_OpaquePaintEvent);

    // The layout's pixel sizes were made for a narrow sans-serif face at 11 pixels: prefer the narrow
    // faces a Linux desktop usually has, then whatever sans-serif face it offers.
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);

    resize(420, 300);
    setMinimumSize(420, 300);
    setMaximumSize(800, 600);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Notebook1 = Named(new QStackedWidget(this), QStringLiteral("Notebook1"));
    Page_Ping = Named(new QWidget(Notebook1), QStringLiteral("Page_Ping"));
    Page_Help = Named(new QWidget(Notebook1), QStringLiteral("Page_Help"));
    // The pages and the status line paint the whole client area.
    for (QWidget* page : {Page_Ping, Page_Help}) {
        page->setAutoFillBackground(true);
        Notebook1->addWidget(page);
    }
    Status_Bar = Named(new QLabel(this), QStringLiteral("Status_Bar"));
    Status_Bar->setFixedHeight(19);
    Status_Bar->setAutoFillBackground(true);
    Status_Bar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Status_Bar->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(Notebook1, 1);
    layout->addWidget(Status_Bar);

    Timer1 = Named(new QTimer(this), QStringLiteral("Timer1"));
    AlertWindowMaker = [](QWidget* owner) -> QWidget* { return new TF_Alert(owner); };

    BuildPingPage();
    BuildHelpPageControls();
    BuildMenus();
    SetTabOrder();
    ConnectHandlers();
    BuildInfoMenu();
    BuildTrayIcon();
    Row(1).Active->setFocus();

    FormCreate();
}

TF_Tevro::~TF_Tevro() {
    qApp->removeEventFilter(this);
    if (m_graphWindow != nullptr && m_graphWindow->parent() == this)
        delete m_graphWindow.data(); // it saves its scale before this window saves the settings
    FormDestroy();
}

void TF_Tevro::BuildPingPage() {
    QWidget* page = Page_Ping;
    m_pingAnchors = new tevro::AnchorLayout(page, kDesignPageSize);
    auto place = [this](QWidget* w, int x, int y, int width, int height, tevro::Anchors anchors) {
        m_pingAnchors->Add(w, QRect(x, y, width, height), anchors);
    };

    const tevro::Anchors topRight = AnchorTop | AnchorRight;
    const struct {
        QLabel* TF_Tevro::*label;
        const char* name;
        const char* text;
        int left, width;
        tevro::Anchors anchors;
    } heads[] = {
        {&TF_Tevro::Status_dsc, "Status_dsc", "Status", 4, 53, AnchorLeft | AnchorTop},
        {&TF_Tevro::Url_dsc, "Url_dsc", "URL / IP", 60, 141, AnchorLeft | AnchorTop | AnchorRight},
        {&TF_Tevro::TimeOut_dsc, "TimeOut_dsc", "TimeOut", 204, 53, topRight},
        {&TF_Tevro::DataSize_dsc, "DataSize_dsc", "DataSize", 260, 53, topRight},
        {&TF_Tevro::TTL_dsc, "TTL_dsc", "TTL", 316, 45, topRight},
        {&TF_Tevro::Count_dsc, "Count_dsc", "Count", 364, 45, topRight},
    };
    for (const auto& head : heads) {
        this->*head.label = ColumnHead(page, QString::fromLatin1(head.name), QString::fromLatin1(head.text));
        place(this->*head.label, head.left, 4, head.width, 13, head.anchors);
    }

    m_graphGroup = new QButtonGroup(this);
    m_graphGroup->setExclusive(true);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        TSlotRow& row = Row(slot);
        const int top = 20 + 24 * (slot - 1);
        row.Status = Named(new QLabel(page), SlotName("Status_%1", slot));
        row.Active = Named(new QCheckBox(QStringLiteral(">>"), page), SlotName("Active_%1", slot));
        // A narrow gap between box and caption keeps ">>" inside the 33 pixels the row has for it.
        row.Active->setStyleSheet(QStringLiteral("QCheckBox { spacing: 1px; }"));
        row.Url = Named(new QLineEdit(page), SlotName("Url_%1", slot));
        row.UrlLookup = Named(new QPushButton(QStringLiteral("?"), page), SlotName("Url_%1_lookup", slot));
        row.Graph = Named(new QRadioButton(page), SlotName("Graph_%1", slot));
        row.TimeOut = Named(new tevro::SpinEdit(500, 8000, 25, 1000, page), SlotName("TimeOut_%1", slot));
        row.DataSize = Named(new tevro::SpinEdit(32, 512, 4, 32, page), SlotName("DataSize_%1", slot));
        row.TTL = Named(new tevro::SpinEdit(32, 128, 4, 32, page), SlotName("TTL_%1", slot));
        row.Count = Named(new tevro::SpinEdit(1, 99, 1, 3, page), SlotName("Count_%1", slot));
        m_graphGroup->addButton(row.Graph, slot);
        row.UrlLookup->setAutoDefault(false);

        place(row.Status, 4, top + 2, 16, 16, AnchorLeft | AnchorTop);
        place(row.Active, 24, top + 2, 33, 17, AnchorLeft | AnchorTop);
        place(row.Url, 60, top, 109, 21, AnchorLeft | AnchorTop | AnchorRight);
        place(row.UrlLookup, 172, top, 17, 21, topRight);
        place(row.Graph, 189, top + 2, 13, 17, topRight);
        place(row.TimeOut, 204, top, 53, 22, topRight);
        place(row.DataSize, 260, top, 53, 22, topRight);
        place(row.TTL, 316, top, 45, 22, topRight);
        place(row.Count, 364, top, 45, 22, topRight);

        tevro::SetHint(
            row.Status,
            QString::fromLatin1(kStatusHint));
        tevro::SetHint(row.Active, QStringLiteral("|Enables or disables pinging of this address"));
        tevro::SetHint(row.Url, QStringLiteral("|Enter a valid URL or IP address"));
        tevro::SetHint(row.UrlLookup, QStringLiteral("|Resolve (DNS lookup) this URL / IP"));
        tevro::SetHint(row.Graph,
                       QStringLiteral("|Show ping results of this URL to be displayed in the graph"));
        tevro::SetHint(row.TimeOut, QStringLiteral("|Time-Out value. Minimum is 500 ms, maximum is 8000 ms"));
        tevro::SetHint(row.DataSize,
                       QStringLiteral("|Data-Size of packet. Minimum is 32 bytes, maximum is 512 bytes"));
        tevro::SetHint(row.TTL,
                       QStringLiteral("|Time-To-Live value. Minimum is 32 hops, maximum is 128 hops"));
        tevro::SetHint(row.Count, QStringLiteral("|Numer of retrys per ping"));
        SetStatusPicture(slot, QStringLiteral("Bitmap_None"));
    }
    // The design-time state, which loading the settings always overwrites; its Active box takes part in
    // the single-graph rule while the rows load. It has no host text, so none can reach the settings.
    Row(1).Active->setChecked(true);
    Row(1).Graph->setChecked(true);

    Bevel1 = Bevel(page, QStringLiteral("Bevel1"), QFrame::HLine);
    place(Bevel1, 0, 94, 413, 5, AnchorLeft | AnchorTop | AnchorRight);

    Label3 = ColumnHead(page, QStringLiteral("Label3"), kInactiveSchedule);
    tevro::SetHint(Label3, QStringLiteral("|Shows the current and the next queued event"));
    place(Label3, 4, 100, 405, 13, AnchorLeft | AnchorTop | AnchorRight);

    Gauge1 = Named(new tevro::Gauge(page), QStringLiteral("Gauge1"));
    Gauge1->SetColors(Qt::yellow, Qt::red);
    Gauge1->SetMinValue(0);
    Gauge1->SetMaxValue(0);
    Gauge1->SetProgress(0);
    place(Gauge1, 4, 116, 12, 105, AnchorLeft | AnchorTop | AnchorBottom);

    Memo_Log = TextView(page, QStringLiteral("Memo_Log"), Qt::white, QStringLiteral("Log_Background"));
    Memo_Log->setContextMenuPolicy(Qt::CustomContextMenu);
    tevro::SetHint(Memo_Log, QStringLiteral("|Output log. Click right mouse button for filter options"));
    place(Memo_Log, 16, 116, 392, 105, AnchorAll);

    Label_Intervall_a =
        Named(new QLabel(QStringLiteral("Ping host/s every "), page), QStringLiteral("Label_Intervall_a"));
    SpinEdit_Intervall = Named(new tevro::SpinEdit(1, 59, 1, 1, page), QStringLiteral("SpinEdit_Intervall"));
    tevro::SetHint(SpinEdit_Intervall,
                   QStringLiteral("|Minutes between pings. Minimum is 1 minute, maximum ist 59 minutes"));
    Label_Intervall_a->setBuddy(SpinEdit_Intervall);
    Label_Intervall_b =
        Named(new QLabel(QStringLiteral("minute/s."), page), QStringLiteral("Label_Intervall_b"));
    for (QLabel* label : {Label_Intervall_a, Label_Intervall_b})
        label->adjustSize();
    // The labels size themselves to the desktop's font; where that font is wider than the layout assumed,
    // the spin edit and the second label move right rather than overlap.
    const int spinLeft = std::max(96, 8 + Label_Intervall_a->width() + 2);
    const int labelLeft = std::max(138, spinLeft + 37 + 5);
    place(Label_Intervall_a, 8, 230, Label_Intervall_a->width(), 13, AnchorLeft | AnchorBottom);
    place(SpinEdit_Intervall, spinLeft, 226, 37, 22, AnchorLeft | AnchorBottom);
    place(Label_Intervall_b, labelLeft, 230, Label_Intervall_b->width(), 13, AnchorLeft | AnchorBottom);

    const tevro::Anchors bottomRight = AnchorRight | AnchorBottom;
    SB_Orvex = SpeedButton(page, QStringLiteral("SB_Orvex"), QStringLiteral("Glyph_Orvex"), false);
    SB_Alert = SpeedButton(page, QStringLiteral("SB_Alert"), QStringLiteral("Glyph_Alert"), true);
    SB_Graph = SpeedButton(page, QStringLiteral("SB_Graph"), QStringLiteral("Glyph_Graph"), true);
    SB_Graph->setChecked(true);
    tevro::SetHint(SB_Orvex, QStringLiteral("|extracts the results from the LOG file(s)"));
    tevro::SetHint(SB_Alert, QStringLiteral("|Enables or disables the alert function (press to config ..)"));
    tevro::SetHint(SB_Graph, QStringLiteral("|Hides or shows the graph"));
    place(SB_Orvex, 188, 225, 25, 25, bottomRight);
    place(SB_Alert, 216, 225, 25, 25, bottomRight);
    place(SB_Graph, 244, 225, 25, 25, bottomRight);

    B_DispHelp = Named(new QPushButton(QStringLiteral("Help!"), page), QStringLiteral("B_DispHelp"));
    QFont bold = B_DispHelp->font();
    bold.setBold(true);
    B_DispHelp->setFont(bold);
    QPalette navy = B_DispHelp->palette();
    navy.setColor(QPalette::ButtonText, QColor(0, 0, 128));
    B_DispHelp->setPalette(navy);
    tevro::SetHint(B_DispHelp, QStringLiteral("|Displays a short help screen"));
    place(B_DispHelp, 276, 225, 41, 25, bottomRight);

    B_RunStop =
        Named(new QPushButton(QStringLiteral("To \"Running\" .."), page), QStringLiteral("B_RunStop"));
    tevro::SetHint(B_RunStop,
                   QStringLiteral("|Toggles the state from \"Inactiv\" to \"Running\" or vice versa"));
    place(B_RunStop, 320, 225, 89, 25, bottomRight);
}

void TF_Tevro::BuildHelpPageControls() {
    QWidget* page = Page_Help;
    m_helpAnchors = new tevro::AnchorLayout(page, kDesignPageSize);
    auto place = [this](QWidget* w, int x, int y, int width, int height, tevro::Anchors anchors) {
        m_helpAnchors->Add(w, QRect(x, y, width, height), anchors);
    };

    Image1 = Named(new QLabel(page), QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(tevro::ResourcePath(QStringLiteral("Help_Picture"))));
    place(Image1, 4, 6, 144, 192, AnchorLeft | AnchorTop);

    Label_Copyright = Named(new QLabel(page), QStringLiteral("Label_Copyright"));
    Label_Copyright->setAlignment(Qt::AlignCenter);
    Label_Copyright->setWordWrap(true);
    Label_Copyright->setAutoFillBackground(true);
    QPalette labelColors = Label_Copyright->palette();
    labelColors.setColor(QPalette::Window, QColor(192, 255, 128));
    labelColors.setColor(QPalette::WindowText, Qt::black);
    Label_Copyright->setPalette(labelColors);
    place(Label_Copyright, 4, 204, 144, 43, AnchorLeft | AnchorTop);

    Bevel_2a = Bevel(page, QStringLiteral("Bevel_2a"), QFrame::VLine);
    place(Bevel_2a, 154, 4, 5, 246, AnchorLeft | AnchorTop | AnchorBottom);

    Memo_Copyright = TextView(page, QStringLiteral("Memo_Copyright"), palette().color(QPalette::Button),
                              QStringLiteral("Help_Background"));
    place(Memo_Copyright, 162, 6, 245, 209, AnchorAll);

    Bevel_2b = Bevel(page, QStringLiteral("Bevel_2b"), QFrame::HLine);
    place(Bevel_2b, 156, 220, 253, 5, AnchorLeft | AnchorRight | AnchorBottom);

    B_CloseHelp =
        Named(new QPushButton(QStringLiteral("Close help .."), page), QStringLiteral("B_CloseHelp"));
    tevro::SetHint(B_CloseHelp, QStringLiteral("|Closes the help and returns to the main screen"));
    place(B_CloseHelp, 276, 225, 133, 25, AnchorRight | AnchorBottom);
}

void TF_Tevro::BuildMenus() {
    PopupMenu1 = Named(new QMenu(this), QStringLiteral("PopupMenu1"));
    Add_SOCKET_ERROR =
        MenuItem(PopupMenu1, QStringLiteral("Add_SOCKET_ERROR"), QStringLiteral("Add SOCKET_ERROR msg(s)"),
                 QStringLiteral("|Do or don't add error messages of class SOCKET_ERROR"));
    Add_PING_FAILED =
        MenuItem(PopupMenu1, QStringLiteral("Add_PING_FAILED"), QStringLiteral("Add PING_FAILED msg(s)"),
                 QStringLiteral("|Do or don't add error messages of class PING_FAILED"));
    Add_PING_SUCCESS =
        MenuItem(PopupMenu1, QStringLiteral("Add_PING_SUCCESS"), QStringLiteral("Add PING_SUCCESS msg(s)"),
                 QStringLiteral("|Do or don't add error messages of class PING_SUCCESS"));
    // The filter items toggle their own check marks; result processing reads them.
    for (QAction* filter : {Add_SOCKET_ERROR, Add_PING_FAILED, Add_PING_SUCCESS})
        filter->setCheckable(true);
    Add_SOCKET_ERROR->setChecked(true);
    Add_PING_FAILED->setChecked(true);
    MenuSeparator(PopupMenu1, QStringLiteral("Menu_empy0"));
    LOG_ClearMsg =
        MenuItem(PopupMenu1, QStringLiteral("LOG_ClearMsg"), QStringLiteral("Clear message log .."),
                 QStringLiteral("|Clear all messages from log"));
    tevro::AddCopyAllItem(PopupMenu1, Memo_Log);

    PopupMenu2 = Named(new QMenu(this), QStringLiteral("PopupMenu2"));
    mi_RestoreTevro =
        MenuItem(PopupMenu2, QStringLiteral("mi_RestoreTevro"), QStringLiteral("Restore Tevro"));
    PopupMenu2->setDefaultAction(mi_RestoreTevro);
    mi_CloseTevro = MenuItem(PopupMenu2, QStringLiteral("mi_CloseTevro"), QStringLiteral("Close Tevro"));
    MenuSeparator(PopupMenu2, QStringLiteral("N1"));
    mi_Feedback_Info =
        MenuItem(PopupMenu2, QStringLiteral("mi_Feedback_Info"), QStringLiteral("Feedback - Info"));
    mi_Feedback_DoIt =
        MenuItem(PopupMenu2, QStringLiteral("mi_Feedback_DoIt"), QStringLiteral("Give feedback .."));
    MenuSeparator(PopupMenu2, QStringLiteral("N2"));
    mi_BugReport_Info =
        MenuItem(PopupMenu2, QStringLiteral("mi_BugReport_Info"), QStringLiteral("Bug report - Info"));
    mi_BugReport_DoIt =
        MenuItem(PopupMenu2, QStringLiteral("mi_BugReport_DoIt"), QStringLiteral("Report a bug .."));
    MenuSeparator(PopupMenu2, QStringLiteral("N3"));
    mi_About_Info = MenuItem(PopupMenu2, QStringLiteral("mi_About_Info"), QStringLiteral("About Tevro"));
    mi_About_OpenWebsite =
        MenuItem(PopupMenu2, QStringLiteral("mi_About_OpenWebsite"), QStringLiteral("Open Tevro website"));
}

void TF_Tevro::SetTabOrder() {
    QList<QWidget*> chain;
    for (const TSlotRow& row : m_rows)
        chain << row.Active << row.Url << row.UrlLookup << row.Graph << row.TimeOut << row.DataSize << row.TTL
              << row.Count;
    chain << Memo_Log << SpinEdit_Intervall << B_DispHelp << B_RunStop;
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    setTabOrder(B_CloseHelp, Memo_Copyright);
}

void TF_Tevro::ConnectHandlers() {
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const TSlotRow& row = Row(slot);
        // A changed check state runs the click handling, whether the user or the program changed it.
        connect(row.Active, &QCheckBox::toggled, this, [this, slot] { Active_Click(slot); });
        connect(row.Url, &QLineEdit::textChanged, this, [this, slot] { Url_Change(slot); });
        // Only a button that becomes checked runs its click handling.
        connect(row.Graph, &QRadioButton::toggled, this, [this, slot](bool on) {
            if (on)
                Graph_Click(slot);
        });
    }
    connect(B_RunStop, &QPushButton::clicked, this, &TF_Tevro::B_RunStopClick);
    connect(B_DispHelp, &QPushButton::clicked, this, &TF_Tevro::B_DispHelpClick);
    connect(B_CloseHelp, &QPushButton::clicked, this, &TF_Tevro::B_CloseHelpClick);
    connect(SB_Graph, &QToolButton::clicked, this, &TF_Tevro::SB_GraphClick);
    connect(SB_Alert, &QToolButton::clicked, this, &TF_Tevro::SB_AlertClick);
    connect(SB_Orvex, &QToolButton::clicked, this, &TF_Tevro::SB_OrvexClick);
    connect(LOG_ClearMsg, &QAction::triggered, this, &TF_Tevro::LOG_ClearMsgClick);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
    connect(Memo_Log, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(Memo_Log->mapToGlobal(pos)); });
    connect(mi_RestoreTevro, &QAction::triggered, this, &TF_Tevro::WinTaskbarDblClick);
    connect(mi_CloseTevro, &QAction::triggered, this, &TF_Tevro::mi_CloseTevroClick);
    ConnectHostEntry();
    for (QMenu* menu : {PopupMenu1, PopupMenu2}) {
        connect(menu, &QMenu::hovered, this, [this](QAction* action) { TrackHint(tevro::HintOf(action)); });
        connect(menu, &QMenu::aboutToHide, this,
                [this] { TrackHint(tevro::EffectiveHint(QApplication::widgetAt(QCursor::pos()))); });
    }
}

bool TF_Tevro::IsRunning() const {
    return Timer1->isActive();
}

void TF_Tevro::UpdateRunButton() {
    bool usable = false;
    for (const TSlotRow& row : m_rows) {
        // Blanks and control characters around the host text do not make a host.
        usable = usable || (row.Active->isChecked() && !tevro::HostForPing(row.Url->text()).isEmpty());
    }
    B_RunStop->setEnabled(usable);
}

void TF_Tevro::EnableSlotRow(int slot, bool enable) {
    const TSlotRow& row = Row(slot);
    row.Active->setEnabled(enable);
    const bool editable = enable && row.Active->isChecked();
    for (QWidget* control : {static_cast<QWidget*>(row.Url), static_cast<QWidget*>(row.Graph),
                             static_cast<QWidget*>(row.TimeOut), static_cast<QWidget*>(row.DataSize),
                             static_cast<QWidget*>(row.TTL), static_cast<QWidget*>(row.Count)})
        control->setEnabled(editable);
    UpdateRunButton();
}

void TF_Tevro::SelectSingleGraph() {
    int active = 0;
    int lastActive = 0;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        if (Row(slot).Active->isChecked()) {
            ++active;
            lastActive = slot;
        }
    }
    if (active == 1)
        SetGraphChecked(lastActive, true);
}

void TF_Tevro::SetGraphChecked(int slot, bool checked) {
    QRadioButton* button = Row(slot).Graph;
    if (checked || !button->isChecked()) {
        button->setChecked(checked);
        return;
    }
    // An exclusive group refuses to uncheck its checked button.
    m_graphGroup->setExclusive(false);
    button->setChecked(false);
    m_graphGroup->setExclusive(true);
}

int TF_Tevro::GraphedSlot() const {
    for (int slot = 1; slot <= kSlotCount; ++slot)
        if (Row(slot).Graph->isChecked())
            return slot;
    return 0;
}

void TF_Tevro::SetStatusPicture(int slot, const QString& resourceName) {
    QLabel* status = Row(slot).Status;
    status->setPixmap(QPixmap(tevro::ResourcePath(resourceName)));
    status->setProperty("picture", resourceName);
}

QString TF_Tevro::StatusPicture(int slot) const {
    return Row(slot).Status->property("picture").toString();
}

void TF_Tevro::Url_Change(int slot) {
    ForgetHostState(slot); // another host: what the old one did says nothing about it
    UpdateRunButton();
}

void TF_Tevro::SetCaptions(const QString& caption) {
    setWindowTitle(caption);
    if (m_graphWindow != nullptr)
        m_graphWindow->setWindowTitle(caption);
}

void TF_Tevro::SetGraphWindow(QWidget* graphWindow) {
    m_graphWindow = graphWindow;
}

QDateTime TF_Tevro::Now() const {
    return m_env.clock ? m_env.clock() : QDateTime::currentDateTime();
}

void TF_Tevro::B_RunStopClick() {
    if (IsRunning()) {
        CloseDowntimeTable();
        ForgetHostStates(); // an outage is not measured across a time nobody watched
        Timer1->stop();
        Gauge1->SetProgress(0);
        Gauge1->SetMaxValue(0);
        Label3->setText(kInactiveSchedule);
        B_RunStop->setText(QStringLiteral("To \"Running\" .."));
        SetCaptions(tevro::ProductLine() + QStringLiteral(" [Inactive]."));
        SpinEdit_Intervall->setEnabled(true);
        return;
    }
    OpenDowntimeTable();
    SpinEdit_Intervall->setEnabled(false);
    LOG_ClearMsgClick();
    B_RunStop->setText(QStringLiteral("To \"Inactive\" .."));
    SetCaptions(tevro::ProductLine() + QStringLiteral(" [Running]."));
    Timer1Tag = SpinEdit_Intervall->value() * kTicksPerMinute;
    Timer1->setInterval(5000);
    Gauge1->SetMaxValue(Timer1Tag);
    Timer1Timer(nullptr);
    Timer1->start();
}

void TF_Tevro::LOG_ClearMsgClick() {
    Memo_Log->Clear();
    PingDone(nullptr, kPingNone, -1, -1, -1, -1, LogHeaderReport());
}

void TF_Tevro::B_DispHelpClick() {
    Memo_Copyright->GoFirst();
    Notebook1->setCurrentIndex(1);
    B_CloseHelp->setFocus();
}

void TF_Tevro::B_CloseHelpClick() {
    Notebook1->setCurrentIndex(0);
    if (B_RunStop->isEnabled())
        B_RunStop->setFocus();
}

void TF_Tevro::SB_GraphClick() {
    if (m_graphWindow != nullptr) {
        if (SB_Graph->isChecked() && m_graphWindow->isHidden())
            m_graphWindow->show();
        else if (!SB_Graph->isChecked() && m_graphWindow->isVisible())
            m_graphWindow->hide();
    }
    activateWindow();
}

void TF_Tevro::SB_AlertClick() {
    ShowAlert(1, QString());
}

void TF_Tevro::WinTaskbarDblClick() {
    showNormal();
    activateWindow();
}

void TF_Tevro::mi_CloseTevroClick() {
    close();
}

void TF_Tevro::ShowHintInStatusLine(const QString& hint) {
    Status_Bar->setText(tevro::StatusLineText(hint));
}

void TF_Tevro::TrackHint(const QString& hint) {
    if (hint == m_currentHint)
        return;
    m_currentHint = hint;
    ShowHintInStatusLine(hint);
}

bool TF_Tevro::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::Enter || type == QEvent::Leave) && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        // Leaving a control puts the mouse over its parent, which gets no enter event of its own.
        const QWidget* window = widget->window();
        if ((window == this || window == m_graphWindow || window == AlertWindow()) && widget != this)
            TrackHint(tevro::EffectiveHint(type == QEvent::Enter ? widget : widget->parentWidget()));
    }
    return QWidget::eventFilter(watched, event);
}

void TF_Tevro::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A restore from the taskbar is a spontaneous show; only the program's own showing runs FormShow.
    if (!event->spontaneous())
        FormShow();
}
