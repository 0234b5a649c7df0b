// Look-up of the program's built-in resources (pictures, help text, sounds) by name, ignoring letter case.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tevro {

// The Qt resource path (":/tevro/Help_Icon") of the resource whose name matches `name` without regard
// to letter case, or an empty string when there is none.
QString ResourcePath(const QString& name);

// The resource's bytes; `found` tells an empty resource from a missing one.
QByteArray ResourceData(const QString& name, bool* found = nullptr);

// Every resource name in its own spelling, sorted.
QStringList ResourceNames();

} // namespace tevro
