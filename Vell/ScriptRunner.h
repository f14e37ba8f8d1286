// Runs an assembled browser program ("function run() { ... }") against a
// browser and returns what the program returned, trimmed.
#pragma once

#include "SessionModel.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <chrono>

class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    // Throws DeliveryError (jsOff, automationDenied, timedOut, page) as the runner
    // classifies its failures, or std::runtime_error when the runner cannot start.
    virtual QCoro::Task<QString> run(const QString& program, Browser browser, std::chrono::milliseconds timeout) = 0;
};
