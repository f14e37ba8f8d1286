// A script runner for tests: every program is recorded and answered by a
// function the test supplies, optionally after some virtual time.
#pragma once

#include "ScriptRunner.h"
#include "VirtualScheduler.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class FakeScriptRunner final : public ScriptRunner {
public:
    struct Call {
        QString program;
        Browser browser = Browser::chrome;
        std::chrono::milliseconds timeout{0};
        Scheduler::TimePoint at; // when the run started
    };

    explicit FakeScriptRunner(VirtualScheduler& scheduler) : scheduler_(scheduler) {}

    // Gives the program's output, or throws to fail the run. Unset: every run prints nothing.
    std::function<QString(const Call&)> answer;
    // Virtual time each run takes before it answers.
    Scheduler::Duration delay{0};
    QList<Call> calls;

    QCoro::Task<QString> run(const QString& program, Browser browser,
                             std::chrono::milliseconds timeout) override;

    // The decoded value of the line `const NAME = "...";` of a program, or none.
    static std::optional<QString> constant(const QString& program, const QString& name);
    // The page script of a BrowserTab::js program (its CODE constant), or empty.
    static QString pageScript(const QString& program);

private:
    VirtualScheduler& scheduler_;
};
