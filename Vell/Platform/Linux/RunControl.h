// What one program run shares between its worker thread and the main thread:
// whether the run has ended (time limit, or a failure that ends it whatever
// the program does), and one condition variable every wait of the run uses,
// so ending the run wakes all of them at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class RunControl {
public:
    // The time limit passed: sets timeUp() and ends the run.
    void timeUp();
    // Ends the run for another reason.
    void end();
    bool ended() const;
    bool isTimeUp() const;

    // Runs while the run ends (from whichever thread ends it), or at once when
    // it already has. Cleared with an empty function before what it touches goes away.
    void setEndHook(std::function<void()> hook);

    // Waits until `ready` holds (checked under the lock) or the run ends; true when ready.
    bool waitUntil(const std::function<bool()>& ready);
    // Runs `change` under the lock and wakes the waiters.
    void update(const std::function<void()>& change);
    // Sleeps; false when the run ended first.
    bool sleepFor(std::chrono::milliseconds duration);

private:
    void endLocked();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool ended_ = false;
    bool timeUp_ = false;
    std::function<void()> endHook_;
};
