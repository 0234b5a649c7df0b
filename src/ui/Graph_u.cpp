// The graph window: its controls, the bars fed by result processing, paging, the stored y scale.
#include "ui/Graph_u.h"

#include "chart/BarChart.h"
#include "common/Product.h"
#include "ui/Hints.h"
#include "ui/SettingsAutosave.h"
#include "ui/SettingsStore.h"
#include "ui/SpinEdit.h"
#include "ui/Tevro_u.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

using Axis = tevro::BarChart::Axis;

namespace {

const QSize kDesignClientSize(412, 269);
const QColor kFailureColour(255, 0, 0);
const QColor kLossColour(255, 128, 0);
const QColor kSuccessColour(0, 128, 0);
const QColor kClearedTitleColour(0, 0, 255);
const QString kScaleSetting = QStringLiteral("GraphYScale");

// Stores the scale; the error text, empty when it was stored.
QString StoreScale(int scale) {
    tevro::SettingsStore store;
    store.WriteInteger(kScaleSetting, scale);
    store.Close();
    return store.ErrorText();
}

QColor ResultColour(int value, int packetLoss) {
    if (value == -1)
        return kFailureColour;
    return packetLoss > 0 ? kLossColour : kSuccessColour;
}

QLabel* BoldLabel(const QString& text, QWidget* parent, const QString& name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->adjustSize();
    return label;
}

} // namespace

namespace tevro {

QRect GraphWindowRect(const QRect& available, int mainFrameTop, const QMargins& frame, const QSize& design) {
    const int left = available.left() + 4 + frame.left();
    const int top = available.top() + 4 + frame.top();
    const int wanted = mainFrameTop - 4 - frame.bottom() - top;
    const int room = available.bottom() + 1 - 4 - frame.bottom() - top;
    const int height = std::clamp(wanted, design.height(), std::max(design.height(), room));
    return {left, top, design.width(), height};
}

} // namespace tevro

TF_Graph::TF_Graph(TF_Tevro& mainWindow)
    : QWidget(&mainWindow,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_main(mainWindow) {
    setObjectName(QStringLiteral("F_Graph"));
    setFont(mainWindow.font());
    setWindowIcon(mainWindow.windowIcon());

    Chart1 = new tevro::BarChart(QStringLiteral("Series1"), this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->SetAxisMinimum(Axis::Left, kMinimumValue);

    ScrollBar1 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setFixedHeight(16);
    ScrollBar1->setPageStep(kPageSize * 2 / 3);
    ScrollBar1->setSingleStep(1);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(29);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label1 = BoldLabel(QStringLiteral("Set range from 0 to"), Panel1, QStringLiteral("Label1"));
    SpinEdit1 = new tevro::SpinEdit(40, 1000, 20, 100, Panel1);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    Label2 = BoldLabel(QStringLiteral("ms."), Panel1, QStringLiteral("Label2"));
    Button1 = new QPushButton(QStringLiteral("&Clear .."), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    // The labels take the desktop font's width; the spin edit and "ms." move right rather than overlap.
    const int spinLeft = std::max(124, 8 + Label1->width() + 6);
    Label1->move(8, 8);
    SpinEdit1->setGeometry(spinLeft, 4, 49, 22);
    Label2->move(spinLeft + 49 + 7, 8);
    Button1->setGeometry(328, 3, 75, 22);
    tevro::SetHint(SpinEdit1, QStringLiteral("|Scale for y-axis. Minimum is 40 ms, maximum is 1000 ms"));
    tevro::SetHint(Button1, QStringLiteral("|Clears the current graph"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Chart1, 1);
    layout->addWidget(ScrollBar1);
    layout->addWidget(Panel1);

    connect(ScrollBar1, &QScrollBar::actionTriggered, this,
            [this](int action) { ScrollBar1Scroll(action, ScrollBar1->sliderPosition()); });
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TF_Graph::SpinEdit1Change);
    connect(Button1, &QPushButton::clicked, this, &TF_Graph::Button1Click);

    FormCreate();
    m_main.SetGraphWindow(this);
}

TF_Graph::~TF_Graph() {
    FormDestroy();
}

void TF_Graph::FormCreate() {
    PlaceAboveMainWindow();
    m_main.installEventFilter(this);
    ClearGraph();
    LoadGraphScale();
    Chart1->SetAxisMaximum(Axis::Left, SpinEdit1->value());
    Button1->setFocus();
    // Kept a few seconds after a change, with the main window's settings.
    tevro::SettingsAutosave* autosave = m_main.Autosave();
    autosave->Watch(SpinEdit1, &QSpinBox::valueChanged);
    connect(autosave, &tevro::SettingsAutosave::Save, this, [this, autosave] {
        const QString error = StoreScale(SpinEdit1->value());
        if (!error.isEmpty())
            autosave->Fail(error);
    });
}

void TF_Graph::FormDestroy() {
    SaveGraphScale();
}

void TF_Graph::PlaceAboveMainWindow() {
    const QScreen* screen = m_main.screen() != nullptr ? m_main.screen() : QApplication::primaryScreen();
    const QRect available =
        screen != nullptr ? screen->availableGeometry() : QRect(QPoint(0, 0), kDesignClientSize);
    // Until the window manager has framed this window, the main window's frame stands in for its own.
    const QWidget& framed = frameGeometry() != geometry() ? static_cast<const QWidget&>(*this) : m_main;
    const QRect outer = framed.frameGeometry();
    const QRect inner = framed.geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    const QRect rect =
        tevro::GraphWindowRect(available, m_main.frameGeometry().top(), frame, kDesignClientSize);
    setFixedSize(rect.size());
    m_placedAt = QPoint(rect.left() - frame.left(), rect.top() - frame.top());
    move(m_placedAt);
}

bool TF_Graph::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_main && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        pos() == m_placedAt)
        PlaceAboveMainWindow();
    // Into the tray with the main window, rather than left minimised without it; its showing brings
    // this window back as its button says.
    if (watched == &m_main && event->type() == QEvent::Hide && !event->spontaneous() && isVisible())
        hide();
    return QWidget::eventFilter(watched, event);
}

void TF_Graph::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // Framing moves the client area under a frame that stays put; the frame's height is known now.
    if (pos() == m_placedAt)
        PlaceAboveMainWindow();
}

void TF_Graph::closeEvent(QCloseEvent* event) {
    // Closing only hides the window; its bars stay for the next showing.
    m_main.SB_Graph->setChecked(false);
    event->accept();
}

void TF_Graph::ClearGraph() {
    Chart1->ClearBars();
    Chart1->ClearTitle();
    Chart1->AddTitleLine(tevro::ProductLine() + QLatin1Char('.'));
    Chart1->SetTitleColour(kClearedTitleColour);
    Chart1->SetPointsPerPage(kPageSize);
    Chart1->SetAxisMinimum(Axis::Bottom, 0);
    Chart1->SetAxisMaximum(Axis::Bottom, kPageSize - 1);
    tevro::SetHint(Chart1, QString());
    ScrollBar1->setRange(0, 0);
    ScrollBar1->setValue(0);
    ScrollBar1->setEnabled(false);
    Button1->setEnabled(Chart1->BarCount() > 0);
}

void TF_Graph::SetGraphTitle(const QString& text, int value, int packetLoss) {
    static const QString kBreak = QStringLiteral("\r\n");
    QString hint = QStringLiteral("|");
    Chart1->ClearTitle();
    QString rest = text;
    for (qsizetype at = rest.indexOf(kBreak); at >= 0; at = rest.indexOf(kBreak)) {
        const QString part = rest.left(at);
        Chart1->AddTitleLine(part + QLatin1Char('.'));
        hint += part + QStringLiteral(". ");
        rest.remove(0, at + kBreak.size());
    }
    Chart1->AddTitleLine(rest + QLatin1Char('.'));
    hint += rest;
    tevro::SetHint(Chart1, hint);
    Chart1->SetTitleColour(ResultColour(value, packetLoss));
}

void TF_Graph::AddGraphBar(int series, double value, int packetLoss) {
    if (Chart1->FindSeries(QStringLiteral("Series%1").arg(series)) == nullptr)
        return;
    // A reply of 0 ms still shows a bar; a failure reaches down to the axis' minimum.
    const bool failed = value == -1.0;
    const double height = failed ? Chart1->AxisMinimum(Axis::Left) : std::max(5.0, value);
    Chart1->AddBar(height, m_main.Now().toMSecsSinceEpoch(), ResultColour(failed ? -1 : 0, packetLoss));

    // Every new bar brings the newest page into view.
    const qsizetype count = Chart1->BarCount();
    const bool paging = count > kPageSize;
    if (paging) {
        const double offset =
            static_cast<double>(count - kPageSize) - std::trunc(Chart1->AxisMinimum(Axis::Bottom));
        Chart1->ShiftAxis(Axis::Bottom, offset);
        const int last =
            static_cast<int>(std::min<qsizetype>(count - kPageSize, std::numeric_limits<int>::max()));
        ScrollBar1->setMaximum(last);
        ScrollBar1->setValue(last);
    }
    ScrollBar1->setEnabled(paging);
    Button1->setEnabled(count > 0);
}

void TF_Graph::ScrollBar1Scroll(int, int position) {
    Chart1->ShiftAxis(Axis::Bottom, position - ScrollBar1->value());
}

void TF_Graph::SpinEdit1Change() {
    Chart1->SetAxisMaximum(Axis::Left, SpinEdit1->value());
}

void TF_Graph::LoadGraphScale() {
    tevro::SettingsStore store;
    int scale = kDefaultScale;
    if (store.ReadInteger(kScaleSetting, kDefaultScale, scale))
        SpinEdit1->setValue(scale); // clamps to 40..1000
    else
        m_main.ShowMessageBox(QStringLiteral("** ERROR **\r\r") + store.ErrorText(),
                              tevro::MessageKind::Error);
}

void TF_Graph::SaveGraphScale() {
    const QString error = StoreScale(SpinEdit1->value());
    if (!error.isEmpty())
        m_main.ShowMessageBox(QStringLiteral("** ERROR **\r\r") + error, tevro::MessageKind::Error);
}
