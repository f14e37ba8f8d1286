// The application log: one time-stamped line per message, never an error.
#pragma once

#include <QString>

namespace Log {

// Appends "<ISO 8601 UTC time> <message>\n" to the log file. Safe from any thread;
// every failure is ignored.
void write(const QString& message);

// Where the log goes: $XDG_STATE_HOME/Vell/Vell.log, by default
// ~/.local/state/Vell/Vell.log. Computed once.
QString path();

// Sends the log to another file from now on (tests, tool runs). An empty path restores the default.
void redirect(const QString& path);

} // namespace Log
