// Desktop notifications through the freedesktop notification service on the session bus.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <memory>

class QObject;

namespace tevro {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Shows a notification tied to `key` (a host's slot) in place of the one tied to it before, if
    // any. With `stays` the new one is tied to the key in turn (until Close or the next one);
    // otherwise the key is free afterwards. Returns at once: the bus is never waited for, and without
    // a bus or a service on it nothing is shown.
    virtual void Notify(int key, const QString& summary, const QString& body, bool urgent, bool stays) = 0;
    // Closes the notification tied to `key`, if there is one.
    virtual void Close(int key) = 0;
};

// appName and the desktop id name the sender; the icon travels with every notification, so it shows
// also where the program is not installed. All work with the bus is done on a thread of the
// notifier's own. When the bus stops answering, the notifier sends nothing more and hands `busLost`
// the line that says so, once, on the thread of `context` (not at all once `context` is gone).
std::unique_ptr<DesktopNotifier> MakeSessionBusNotifier(const QString& appName, const QString& desktopId,
                                                        const QImage& icon, QObject* context,
                                                        std::function<void(const QString& line)> busLost);

} // namespace tevro
