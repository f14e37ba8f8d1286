// A browser program run started in the background, and how it ended: its
// output, or the delivery error it was classified as.
#pragma once

#include "SessionModel.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <memory>
#include <optional>

struct ScriptOutcome {
    bool done = false;
    QString output;
    std::optional<DeliveryError> error;
};

inline QCoro::Task<void> driveScript(QCoro::Task<QString> task, std::shared_ptr<ScriptOutcome> outcome)
{
    try {
        outcome->output = co_await task;
    } catch (const DeliveryError& e) {
        outcome->error = e;
    } catch (const std::exception&) { // the runner went away first: an ending with no answer
    }
    outcome->done = true;
}

inline std::shared_ptr<ScriptOutcome> startScript(QCoro::Task<QString> task)
{
    auto outcome = std::make_shared<ScriptOutcome>();
    driveScript(std::move(task), outcome);
    return outcome;
}
