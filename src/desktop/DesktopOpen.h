// Opening web and mail links and documents with the desktop's handlers, and telling whether there is one.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QObject;

namespace tevro {

// Whether a desktop entry that is installed claims links of `scheme` ("mailto"), read as the desktop
// reads its associations: for each folder of `configFolders`, then of `dataFolders` (+ "/applications"),
// the lists of the current desktops ("<desktop>-mimeapps.list") before "mimeapps.list", and in data
// folders "defaults.list" and "mimeinfo.cache" after them; a removed association hides the entry from
// the files read after it. Empty lists: the user's and the system's standard folders, and the desktops
// named by $XDG_CURRENT_DESKTOP.
bool HasSchemeHandler(const QString& scheme, const QStringList& configFolders = {},
                      const QStringList& dataFolders = {}, const QStringList& desktops = {});

// Hands `target` (a web or mail address, or a document's path) to the desktop through xdg-open and
// returns at once. `done` runs later on `context`'s thread with whether it was opened: false when xdg-open
// could not be started or ended with a failure, and for a mail link without a mail program, which the
// desktop would otherwise drop without a word. Nothing runs when `context` is gone by then.
void OpenWithDesktop(const QString& target, QObject* context, std::function<void(bool opened)> done);

} // namespace tevro
