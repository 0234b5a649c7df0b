// Whether the desktop's session bus answers, found out before anything in the program waits for it.
// A bus that accepts connections and never replies would otherwise hold the GUI thread in Qt's own
// first connection (its accessibility bridge, its tray service check) without limit.
#pragma once

#include <QString>
#include <chrono>

namespace tevro {

enum class SessionBusState {
    None,      // no address: there is no session bus to use
    Refused,   // the address leads nowhere (no socket, connection refused): a connection fails at once
    Answers,   // it took the greeting and replied to Hello
    Silent,    // it did not reply within the limit
    Unchecked, // a transport this check does not speak (tcp, launchd ...): taken as it is
};

// The address a client library would use: $DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus when
// that socket exists; empty when there is none.
QString SessionBusAddress();

// Connects to `address`, authenticates and says Hello, all within `limit`, on a thread of its own.
SessionBusState CheckSessionBus(const QString& address, std::chrono::milliseconds limit);

// Checks the bus of this process; when it is silent, makes the process go on without it: Qt's AT-SPI
// bridge off and the bus address replaced by one that fails at once, so that nothing in Qt or in a
// child process waits for it. Must run before the QApplication exists. Returns the line that tells
// so, or an empty text when the bus is usable or absent.
QString StartWithoutSilentSessionBus(std::chrono::milliseconds limit = std::chrono::milliseconds(1000));

} // namespace tevro
