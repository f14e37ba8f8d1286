#include "JxaRunner.h"

#include "JxaProgram.h"
#include "Log.h"
#include "RunControl.h"
#include "Scheduler.h"
#include "ScriptFailure.h"
#include "TabDriver.h"

#include <QCoro/QCoroFuture>
#include <QPromise>
#include <QThread>

#include <stdexcept>

struct JxaRunner::Flight {
    std::shared_ptr<RunControl> control;
    std::unique_ptr<QThread> thread;
};

JxaRunner::JxaRunner(DriverFactory driverFactory, Scheduler& scheduler)
    : driverFactory_(std::move(driverFactory)), scheduler_(scheduler)
{
}

JxaRunner::~JxaRunner()
{
    for (const auto& flight : inFlight_)
        flight->control->end();
    for (const auto& flight : inFlight_)
        flight->thread->wait();
}

QCoro::Task<QString> JxaRunner::run(const QString& program, Browser browser,
                                    std::chrono::milliseconds timeout)
{
    if (browser != Browser::chrome) {
        Log::write(QStringLiteral("script: ") + Browsers::displayName(browser) +
                   QStringLiteral(" can't be driven on this system"));
        throw std::runtime_error("only Chrome-family browsers can be driven on this system");
    }

    auto control = std::make_shared<RunControl>();
    std::shared_ptr<TabDriver> driver = driverFactory_(control);
    auto promise = std::make_shared<QPromise<JxaOutcome>>();
    QFuture<JxaOutcome> future = promise->future();
    promise->start();

    auto flight = std::make_shared<Flight>();
    flight->control = control;
    flight->thread.reset(QThread::create([program, driver, control, promise] {
        JxaOutcome outcome = runJxaProgram(program, *driver, *control);
        promise->addResult(std::move(outcome));
        promise->finish();
    }));
    flight->thread->setObjectName(QStringLiteral("script run"));
    inFlight_.insert(flight);
    flight->thread->start();
    const JobHandle limit = scheduler_.schedule(timeout, [control] { control->timeUp(); });

    const std::weak_ptr<bool> runnerAlive = alive_;
    const JxaOutcome outcome = co_await future;
    limit->cancel();
    // The program has returned; the thread is finishing and ends right away.
    flight->thread->wait();
    if (runnerAlive.expired()) throw std::runtime_error("the script runner shut down during the run");
    inFlight_.erase(flight);

    if (control->isTimeUp()) {
        const long long seconds =
            std::chrono::duration_cast<std::chrono::seconds>(timeout + std::chrono::milliseconds(500))
                .count();
        Log::write(QStringLiteral("script: no answer after %1s").arg(seconds));
        throw DeliveryError::timedOut(browser);
    }
    if (outcome.error) {
        const QString text = outcome.error->trimmed();
        Log::write(QStringLiteral("script: ") + text);
        throw ScriptFailure::classify(text, browser);
    }
    co_return outcome.output;
}
