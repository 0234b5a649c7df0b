// TF_Graph: the graphed host's ping results as coloured bars, a page of 32 at a time, above the main
// window; a scroll bar pages back through older bars, a spin edit sets the top of the y axis.
#pragma once

#include "monitor/WindowPorts.h"

#include <QMargins>
#include <QRect>
#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;
class QScrollBar;
class TF_Tevro;

namespace tevro {
class BarChart;
class SpinEdit;

// The graph window's client area: 4 pixels into the available screen area at the left and top, reaching
// down to 4 pixels above the main window's frame, but never shorter than `design` and, where the area
// allows, never below it. `frame` is the window manager's frame around a client area.
QRect GraphWindowRect(const QRect& available, int mainFrameTop, const QMargins& frame, const QSize& design);
} // namespace tevro

class TF_Graph final : public QWidget, public tevro::GraphFeed {
    Q_OBJECT

public:
    static constexpr int kPageSize = 32;
    static constexpr int kDefaultScale = 200;
    static constexpr int kMinimumValue = -10; // the y axis' bottom; failures reach down to it

    // Created right after the main window, which it registers itself with; destroyed before it.
    explicit TF_Graph(TF_Tevro& mainWindow);
    ~TF_Graph() override;

    void ClearGraph() override;
    // `text`: lines separated by CR LF; `value`: the mean time in ms, -1 for a failure.
    void SetGraphTitle(const QString& text, int value, int packetLoss) override;
    // `series` names the series "Series<n>"; a number naming none adds nothing. `value`: the mean time in
    // ms to the microsecond, -1 for a failure.
    void AddGraphBar(int series, double value, int packetLoss) override;
    void LoadGraphScale();
    void SaveGraphScale();

    void FormCreate();
    void FormDestroy();
    // Runs before the scroll bar takes `position`, so the view moves by the difference.
    void ScrollBar1Scroll(int scrollCode, int position);
    void SpinEdit1Change();
    void Button1Click() { ClearGraph(); }

    tevro::BarChart* Chart1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    tevro::SpinEdit* SpinEdit1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override; // FormClose
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Stands above the main window, as tall as the room there allows; see GraphWindowRect.
    void PlaceAboveMainWindow();

    TF_Tevro& m_main;
    // Where PlaceAboveMainWindow last put the frame. Until the user moves the window away from there,
    // it follows the main window: the window manager's frames, known only once both windows are
    // mapped, change the room above the main window.
    QPoint m_placedAt;
};
