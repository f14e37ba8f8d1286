// Runs a browser program through a separate script-runner process: the
// program goes to a temporary file, the process prints the program's result,
// and its error text says why a run failed.
#pragma once

#include "Scheduler.h"
#include "ScriptRunner.h"

#include <QString>

#include <chrono>

class OsascriptRunner final : public ScriptRunner {
public:
    static inline const QString defaultExecutable = QStringLiteral("/usr/bin/osascript");

    // `executable` is started as: executable -l JavaScript <program file>. Program
    // files are "vell-<UUID>.js" in `tempFolder` (the user's temporary folder
    // when empty) and are deleted after every run. The time limit runs on `scheduler`.
    explicit OsascriptRunner(Scheduler& scheduler, QString executable = defaultExecutable,
                             QString tempFolder = {});

    // Never blocks the calling thread. Past the time limit the process is
    // terminated (and killed if it ignores that) and the run fails with timedOut.
    QCoro::Task<QString> run(const QString& program, Browser browser,
                             std::chrono::milliseconds timeout) override;

    // The failure that a run ending with a non-zero status and this error text stands for.
    static DeliveryError classify(const QString& standardError, Browser browser);

    // How long a terminated process has to end before it is killed.
    static constexpr std::chrono::milliseconds killGrace{2000};

private:
    Scheduler& scheduler_;
    QString executable_;
    QString tempFolder_;
};
