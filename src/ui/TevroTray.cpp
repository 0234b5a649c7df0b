// The main window's tray icon: it takes over from the taskbar entry while the window is minimised,
// carries the caption as its tip, and brings the window back on a double click or "Restore Tevro".
#include "desktop/WTaskBar.h"
#include "ui/Tevro_u.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>

namespace {

// Follows the window's minimise and restore, and its caption.
class TrayHandOver final : public QObject {
public:
    TrayHandOver(TF_Tevro* window, TWinTaskbar* tray) : QObject(window), m_window(window), m_tray(tray) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_window || m_tray.isNull())
            return false;
        if (event->type() == QEvent::WindowStateChange) {
            if (!m_window->isMinimized()) {
                m_tray->SetShowIcon(false);
            } else {
                // Hidden once the state change is through, and only if no restore came first.
                QTimer::singleShot(0, m_tray, [window = m_window, tray = m_tray.data()] {
                    if (window->isMinimized())
                        tray->SetShowIcon(true);
                });
            }
        } else if (event->type() == QEvent::WindowTitleChange) {
            m_tray->SetHint(m_window->windowTitle());
        }
        return false;
    }

private:
    TF_Tevro* m_window;
    QPointer<TWinTaskbar> m_tray; // goes before this filter when the window is destroyed
};

} // namespace

void TF_Tevro::BuildTrayIcon() {
    WinTaskbar = new TWinTaskbar(this);
    WinTaskbar->setObjectName(QStringLiteral("WinTaskbar"));
    WinTaskbar->SetIcon(windowIcon());
    WinTaskbar->SetPopUpMenu(PopupMenu2);
    // A single click does nothing; the double click restores, as the menu's default item does.
    WinTaskbar->OnDblClick = [this](QObject*) { WinTaskbarDblClick(); };
    WinTaskbar->SetHint(windowTitle());
    new TrayHandOver(this, WinTaskbar);
}
