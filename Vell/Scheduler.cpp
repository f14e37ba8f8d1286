#include "Scheduler.h"

#include <QCoreApplication>
#include <QTimer>

MainScheduler::MainScheduler(QObject* context) : context_(context) {}

JobHandle MainScheduler::schedule(Duration delay, std::function<void()> fn)
{
    auto job = std::make_shared<Job>();
    QObject* context = context_ ? context_ : QCoreApplication::instance();
    QTimer::singleShot(delay, Qt::PreciseTimer, context, [job, fn = std::move(fn)] {
        if (!job->isCancelled()) fn();
    });
    return job;
}
