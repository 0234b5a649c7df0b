// Runs the built program as a user would, inside a throw-away folder: its own copy of the executable,
// settings, runtime and data folders, so no test touches the real user's files.
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace tevro::testing {

class TevroSandbox {
public:
    TevroSandbox();

    bool IsValid() const { return m_dir.isValid(); }
    QString Path(const QString& relative) const { return m_dir.filePath(relative); }

    // Copies the built program into the sandbox's bin folder as `fileName`; returns its path.
    QString InstallProgram(const QString& fileName);

    // The settings file the program reads at start ($XDG_CONFIG_HOME/Kaltmer/Tevro.conf).
    QString SettingsFile() const;
    void WriteSettings(const QMap<QString, QString>& values);

    // The environment that points the program at the sandbox.
    QProcessEnvironment Environment() const;

private:
    QTemporaryDir m_dir;
};

// The file's lines without their CR LF endings; an empty list when the file is missing.
QStringList ReadLogLines(const QString& path);

// Waits, without polling, until `done` holds for the file's lines or `timeoutMs` passes.
bool WaitForLog(const QString& path, const std::function<bool(const QStringList&)>& done, int timeoutMs);

// Sends SIGTERM and waits for the end; true when the program ended normally with exit code 0.
bool TerminateAndExpectCleanExit(QProcess& process, int timeoutMs = 10000);

// The same within `limitMs`, as a logout would give it; a program still running then is killed. The
// milliseconds it took, or -1 when it did not end cleanly in time.
qint64 TerminateWithin(QProcess& process, int limitMs);

// Runs a tool (xdotool, xprop ...) to its end, at most 5 s, and returns what it printed.
QString ToolOutput(const QString& tool, const QStringList& arguments);

// Asks `done` every 50 ms until it holds or `timeoutMs` passes: what another process shows on an X
// server cannot be waited for.
bool PollUntil(const std::function<bool()>& done, int timeoutMs);

// What a command (an X tool) prints on stdout, run with `env`.
QString Capture(const QString& program, const QStringList& arguments, const QProcessEnvironment& env);

// The X window ("0x...") on the display of `env` titled exactly `caption` that is transient for no other
// window: the main window, not the graph window of the same caption. Empty while there is none.
QString MainWindowId(const QString& caption, const QProcessEnvironment& env);

} // namespace tevro::testing
