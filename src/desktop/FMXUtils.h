// Handing programs, documents and links to the desktop, and the running program's own file name.
#pragma once

#include <QString>

namespace tevro {

// Window state passed on to a started program; only the normal state is used.
inline constexpr int SW_SHOWNORMAL = 1;

// Results of 32 or below are failures; these are the ones LaunchFile gives.
inline constexpr int LAUNCH_FILE_NOT_FOUND = 2;
inline constexpr int LAUNCH_PATH_NOT_FOUND = 3;
inline constexpr int LAUNCH_NO_ASSOCIATION = 31;
inline constexpr int LAUNCH_OK = 42;

// Starts `file` as a program (when it is an executable, found directly or on PATH) with `parameters`
// split like a shell command line, or opens it as a document or link with the desktop's handler.
// `folder` is the working folder of a started program (empty: the current one). Does not wait.
// Returns a value above 32 when the start was handed over, 32 or below when not.
int LaunchFile(const QString& file, const QString& parameters, const QString& folder, int showState);

// The running program's file name without its folder ("tevro").
QString ProgramFileName();

} // namespace tevro
