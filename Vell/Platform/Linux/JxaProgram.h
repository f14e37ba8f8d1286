// Runs one browser program ("function run() { ... }") in a fresh script
// engine on the calling thread.
#pragma once

#include <QString>

#include <optional>

class RunControl;
class TabDriver;

struct JxaOutcome {
    // String(run()) trimmed; empty for undefined and null.
    QString output;
    // Why the run failed: the uncaught error ("TypeError: ... (line 3)") or the
    // failure that ended it (see BrowserGoneText).
    std::optional<QString> error;
};

// Ending `control` (from any thread) interrupts the engine, wherever the program is.
JxaOutcome runJxaProgram(const QString& program, TabDriver& driver, RunControl& control);
