// The tray icon: a picture with a tip in the desktop's notification area that stands in for the owner
// window's taskbar entry while it is minimised, with a double click and a right-click menu.
#pragma once

#include <QIcon>
#include <QMenu> // QPointer<QMenu> needs the whole type
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QTimer;
class QWidget;

namespace tevro {

// What the desktop reports over the icon.
enum class TrayMouse {
    Move,
    LeftDown,
    LeftUp,
    LeftDblClick,
    RightDown,
    RightUp,
    RightDblClick,
    MiddleDown,
    MiddleUp,
    MiddleDblClick
};

// The desktop's side of a tray icon. Abstract so it can be mocked out for tests.
class TrayShell {
public:
    enum class Operation { Add, Modify, Delete };

    virtual ~TrayShell() = default;
    // Whether the desktop has a notification area right now.
    virtual bool Available() const = 0;
    virtual void Notify(Operation operation, const QIcon& icon, const QString& tip) = 0;
    // Mouse reports go here; set by the icon that owns the shell.
    std::function<void(TrayMouse)> report;
};

// The desktop's own tray: its status-notifier service where one runs, the X11 tray otherwise.
std::unique_ptr<TrayShell> MakeSystemTrayShell();

} // namespace tevro

class TWinTaskbar final : public QObject {
    Q_OBJECT

public:
    // `owner` is the window whose taskbar entry the icon replaces; null `shell`: the desktop's tray.
    explicit TWinTaskbar(QWidget* owner, std::unique_ptr<tevro::TrayShell> shell = nullptr);
    ~TWinTaskbar() override;

    QIcon Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);
    QString Hint() const { return m_hint; }
    void SetHint(const QString& hint);
    bool ShowIcon() const { return m_showIcon; }
    // The owner leaves the taskbar only while the icon is really in a tray.
    void SetShowIcon(bool show);
    QMenu* PopUpMenu() const { return m_popUpMenu; }
    void SetPopUpMenu(QMenu* menu); // not owned; forgotten when the menu is destroyed

    std::function<void(QObject* sender)> OnClick;
    std::function<void(QObject* sender)> OnDblClick;

    bool IconInTray() const { return m_inTray; }
    // The whole hint: the trays here take any length, and the caption's end tells the run state.
    QString TrayTip() const { return m_hint; }

    void PopupAtCursor(const QPoint& position);
    // The desktop's report of a mouse action over the icon, at the cursor's position.
    void TrayMessage(tevro::TrayMouse what);

private:
    void UpdateIcon();
    void UpdateOwner();
    void MouseDown(Qt::MouseButton button, const QPoint& position);
    void MouseUp(Qt::MouseButton button);
    void DblClick();
    void BringOwnerToFront();
    void CheckTrayStillThere();

    QWidget* m_owner;
    std::unique_ptr<tevro::TrayShell> m_shell;
    QIcon m_icon;
    QString m_hint;
    bool m_showIcon = false;
    QPointer<QMenu> m_popUpMenu;
    bool m_inTray = false;
    bool m_dblClickMarker = false; // swallows the button-up that ends a double click
    bool m_ownerHidden = false;    // the owner was taken off the taskbar by this icon
    bool m_destroying = false;
    QTimer* m_trayWatch = nullptr;
};
