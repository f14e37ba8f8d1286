// A scheduler on virtual time: nothing runs until the test advances the clock,
// so a 75 s timer fires in microseconds and no test sleeps.
#pragma once

#include "Scheduler.h"

#include <map>

class VirtualScheduler final : public Scheduler {
public:
    JobHandle schedule(Duration delay, std::function<void()> fn) override;
    TimePoint now() const override { return now_; }

    // Moves the clock forward, running every due job in time order (jobs
    // scheduled meanwhile run too if they fall inside the window).
    void advance(Duration by);
    void advance(double seconds) { advance(fromSeconds(seconds)); }
    // Runs jobs due now (zero-delay work) without moving the clock.
    void runDue() { advance(Duration(0)); }
    // Jobs not yet run and not cancelled.
    int pendingCount() const;
    // Time since the scheduler was made.
    Duration elapsed() const { return std::chrono::duration_cast<Duration>(now_ - start_); }

private:
    struct Entry {
        JobHandle job;
        std::function<void()> fn;
    };
    TimePoint start_{};
    TimePoint now_{};
    // Ordered by due time, then by the order of scheduling.
    std::multimap<TimePoint, Entry> queue_;
};
