// The command line: "-ToRunning" as the first argument is the program's one switch.
#pragma once

#include <QString>
#include <QStringList>

namespace tevro {

// `arguments` with the program first, as QCoreApplication gives them (Qt's own options removed).
// True when the first argument is the switch, in any letter case, matched whole.
bool StartsRunning(const QStringList& arguments);

// One line for every argument the program does not act on, naming it and the switch it knows, so that
// a typo in an autostart entry does not go unnoticed. Empty when there is nothing to say.
QStringList ArgumentWarnings(const QStringList& arguments);

} // namespace tevro
