#include "VirtualScheduler.h"

JobHandle VirtualScheduler::schedule(Duration delay, std::function<void()> fn)
{
    auto job = std::make_shared<Job>();
    queue_.emplace(now_ + std::max(delay, Duration(0)), Entry{job, std::move(fn)});
    return job;
}

void VirtualScheduler::advance(Duration by)
{
    const TimePoint end = now_ + by;
    while (!queue_.empty() && queue_.begin()->first <= end) {
        auto it = queue_.begin();
        now_ = std::max(now_, it->first);
        Entry entry = std::move(it->second);
        queue_.erase(it);
        if (!entry.job->isCancelled()) entry.fn();
    }
    now_ = end;
}

int VirtualScheduler::pendingCount() const
{
    int n = 0;
    for (const auto& [when, entry] : queue_)
        if (!entry.job->isCancelled()) ++n;
    return n;
}
