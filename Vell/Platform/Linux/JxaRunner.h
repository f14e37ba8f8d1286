// The script runner on Linux: runs each browser program in its own script
// engine on a worker thread of its own, against the browser's object model
// (JxaPrelude, TabDriver). The caller's coroutine suspends until the run is
// over; the main thread never blocks.
//
// Failures are reported as the process runner reports them, with the area
// word "script: " in the log: "script: no answer after 30s" when the time
// limit passed (the engine is interrupted and pending protocol calls are
// abandoned), else "script: " + the error and the DeliveryError that
// ScriptFailure::classify gives for it.
#pragma once

#include "ScriptRunner.h"

#include <functional>
#include <memory>
#include <set>

class QThread;
class RunControl;
class Scheduler;
class TabDriver;

class JxaRunner final : public ScriptRunner {
public:
    // Makes the browser side of one run; called on the main thread.
    using DriverFactory = std::function<std::unique_ptr<TabDriver>(const std::shared_ptr<RunControl>&)>;

    // The time limits run on `scheduler`.
    JxaRunner(DriverFactory driverFactory, Scheduler& scheduler);
    // Ends the runs in flight and waits for their threads.
    ~JxaRunner() override;

    QCoro::Task<QString> run(const QString& program, Browser browser,
                             std::chrono::milliseconds timeout) override;

    int runsInFlight() const { return static_cast<int>(inFlight_.size()); }

private:
    struct Flight;
    DriverFactory driverFactory_;
    Scheduler& scheduler_;
    std::set<std::shared_ptr<Flight>> inFlight_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
