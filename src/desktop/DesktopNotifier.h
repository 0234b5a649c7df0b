// Desktop notifications through the freedesktop notification service on the session bus.
#pragma once

#include <QImage>
#include <QString>
#include <memory>

namespace tevro {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Hands the notification to the service and returns at once; without a session bus or a
    // service on it nothing is shown and nothing waits.
    virtual void Notify(const QString& summary, const QString& body, bool urgent) = 0;
};

// appName and the desktop id name the sender; the icon travels with every notification, so it shows
// also where the program is not installed.
std::unique_ptr<DesktopNotifier> MakeSessionBusNotifier(const QString& appName, const QString& desktopId,
                                                        const QImage& icon);

} // namespace tevro
