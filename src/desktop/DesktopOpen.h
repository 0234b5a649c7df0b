// Opening web and mail links with the desktop's handlers, and telling whether there is one.
#pragma once

#include <QString>
#include <QStringList>

namespace tevro {

// Whether a desktop entry claims links of `scheme` ("mailto") in the association files
// (mimeapps.list, mimeinfo.cache) under `configFolders` and `dataFolders`; empty lists: the user's
// and the system's standard folders.
bool HasSchemeHandler(const QString& scheme, const QStringList& configFolders = {},
                      const QStringList& dataFolders = {});

// Hands `address` to the desktop; false when nothing can take it. A mail link without a mail
// program counts as failed: the desktop would otherwise drop it without a word.
bool OpenWithDesktop(const QString& address);

} // namespace tevro
