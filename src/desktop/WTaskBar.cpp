// The tray icon over QSystemTrayIcon, and the rules that keep its owner window reachable.
#include "desktop/WTaskBar.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace tevro {
namespace {

class SystemTrayShell final : public TrayShell {
public:
    SystemTrayShell() {
        // Qt reports whole gestures; they are unfolded into the presses and releases the icon expects.
        // A double click is reported on its second press, so its release follows it.
        QObject::connect(&m_tray, &QSystemTrayIcon::activated, &m_tray,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             switch (reason) {
                             case QSystemTrayIcon::Trigger:
                                 Report({TrayMouse::LeftDown, TrayMouse::LeftUp});
                                 break;
                             case QSystemTrayIcon::DoubleClick:
                                 Report({TrayMouse::LeftDblClick, TrayMouse::LeftUp});
                                 break;
                             case QSystemTrayIcon::Context:
                                 Report({TrayMouse::RightDown, TrayMouse::RightUp});
                                 break;
                             case QSystemTrayIcon::MiddleClick:
                                 Report({TrayMouse::MiddleDown, TrayMouse::MiddleUp});
                                 break;
                             case QSystemTrayIcon::Unknown:
                                 break;
                             }
                         });
    }

    bool Available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }

    void Notify(Operation operation, const QIcon& icon, const QString& tip) override {
        if (operation == Operation::Delete) {
            m_tray.hide();
            return;
        }
        m_tray.setIcon(icon);
        m_tray.setToolTip(tip);
        if (operation == Operation::Add)
            m_tray.show();
    }

private:
    void Report(std::initializer_list<TrayMouse> events) {
        for (TrayMouse event : events)
            if (report)
                report(event);
    }

    QSystemTrayIcon m_tray;
};

} // namespace

std::unique_ptr<TrayShell> MakeSystemTrayShell() {
    return std::make_unique<SystemTrayShell>();
}

} // namespace tevro

using tevro::TrayMouse;
using tevro::TrayShell;

TWinTaskbar::TWinTaskbar(QWidget* owner, std::unique_ptr<TrayShell> shell)
    : QObject(owner), m_owner(owner), m_shell(shell ? std::move(shell) : tevro::MakeSystemTrayShell()) {
    m_shell->report = [this](TrayMouse what) { TrayMessage(what); };
    m_trayWatch = new QTimer(this);
    m_trayWatch->setInterval(2000);
    connect(m_trayWatch, &QTimer::timeout, this, &TWinTaskbar::CheckTrayStillThere);
}

TWinTaskbar::~TWinTaskbar() {
    // The icon leaves the tray; the owner is going away too, so its taskbar entry is left alone.
    m_destroying = true;
    SetShowIcon(false);
    m_shell->report = nullptr;
}

void TWinTaskbar::SetIcon(const QIcon& icon) {
    if (icon.cacheKey() == m_icon.cacheKey())
        return;
    m_icon = icon;
    UpdateIcon();
}

void TWinTaskbar::SetHint(const QString& hint) {
    if (hint == m_hint)
        return;
    m_hint = hint;
    UpdateIcon();
}

void TWinTaskbar::SetShowIcon(bool show) {
    if (show == m_showIcon)
        return;
    m_showIcon = show;
    UpdateIcon();
}

void TWinTaskbar::SetPopUpMenu(QMenu* menu) {
    m_popUpMenu = menu;
}

void TWinTaskbar::UpdateIcon() {
    // Without a notification area, or with nothing to show, there is no icon.
    const bool wanted = m_showIcon && !m_icon.isNull() && m_shell->Available();
    if (wanted) {
        m_shell->Notify(m_inTray ? TrayShell::Operation::Modify : TrayShell::Operation::Add, m_icon,
                        TrayTip());
        m_inTray = true;
    } else {
        m_shell->Notify(TrayShell::Operation::Delete, QIcon(), QString());
        m_inTray = false;
    }
    UpdateOwner();
}

void TWinTaskbar::UpdateOwner() {
    // The owner is off the taskbar exactly while the icon is in a tray, so it can always be reached.
    if (m_destroying || m_owner == nullptr)
        return;
    if (m_inTray && !m_ownerHidden) {
        m_owner->hide();
        m_ownerHidden = true;
        m_trayWatch->start();
    } else if (!m_inTray && m_ownerHidden) {
        m_ownerHidden = false;
        m_trayWatch->stop();
        // Restored rather than shown minimised: after the window manager's own minimise, Qt would map
        // the window in its normal state while still reporting it minimised.
        if (m_owner->isHidden())
            m_owner->showNormal();
    }
}

void TWinTaskbar::CheckTrayStillThere() {
    if (m_shell->Available())
        return;
    // The tray went away with our icon in it.
    m_shell->Notify(TrayShell::Operation::Delete, QIcon(), QString());
    m_inTray = false;
    UpdateOwner();
}

void TWinTaskbar::TrayMessage(TrayMouse what) {
    const QPoint at = QCursor::pos();
    switch (what) {
    case TrayMouse::Move:
        break;
    case TrayMouse::LeftDown:
        MouseDown(Qt::LeftButton, at);
        break;
    case TrayMouse::LeftUp:
        MouseUp(Qt::LeftButton);
        break;
    case TrayMouse::RightDown:
        MouseDown(Qt::RightButton, at);
        break;
    case TrayMouse::RightUp:
        MouseUp(Qt::RightButton);
        break;
    case TrayMouse::MiddleDown:
        MouseDown(Qt::MiddleButton, at);
        break;
    case TrayMouse::MiddleUp:
        MouseUp(Qt::MiddleButton);
        break;
    case TrayMouse::LeftDblClick:
    case TrayMouse::RightDblClick:
    case TrayMouse::MiddleDblClick:
        DblClick();
        break;
    }
}

void TWinTaskbar::MouseDown(Qt::MouseButton button, const QPoint& position) {
    if (button == Qt::RightButton)
        PopupAtCursor(position);
}

void TWinTaskbar::MouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    if (m_dblClickMarker) {
        m_dblClickMarker = false;
        return;
    }
    if (OnClick) {
        BringOwnerToFront();
        OnClick(this);
    }
}

void TWinTaskbar::DblClick() {
    if (!OnDblClick)
        return;
    m_dblClickMarker = true;
    BringOwnerToFront();
    OnDblClick(this);
}

void TWinTaskbar::PopupAtCursor(const QPoint& position) {
    if (m_popUpMenu.isNull())
        return;
    BringOwnerToFront();
    // Not waited for: the desktop gets its mouse back at once, and the menu closes on a click outside.
    m_popUpMenu->popup(position);
}

void TWinTaskbar::BringOwnerToFront() {
    if (m_owner != nullptr && m_owner->isVisible()) {
        m_owner->raise();
        m_owner->activateWindow();
    }
}
