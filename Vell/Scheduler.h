// Main-thread delayed jobs and a clock. The controller and the watchers take
// their time from here, so tests can run them on virtual time.
#pragma once

#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>

class QObject;

// A job scheduled for later; cancelling it before it fires keeps it from running.
class Job {
public:
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }

private:
    bool cancelled_ = false;
};
using JobHandle = std::shared_ptr<Job>;

class Scheduler {
public:
    using Duration = std::chrono::milliseconds;
    // Monotonic time; only differences mean anything.
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Scheduler() = default;

    // Runs `fn` on the main thread after `delay`, unless the returned job is cancelled first.
    virtual JobHandle schedule(Duration delay, std::function<void()> fn) = 0;
    virtual TimePoint now() const = 0;

    // co_await scheduler.sleep(d): resumes the coroutine on the main thread after d.
    auto sleep(Duration delay)
    {
        struct Awaiter {
            Scheduler& scheduler;
            Duration delay;
            bool await_ready() const noexcept { return false; }
            void await_suspend(std::coroutine_handle<> handle)
            {
                scheduler.schedule(delay, [handle] { handle.resume(); });
            }
            void await_resume() const noexcept {}
        };
        return Awaiter{*this, delay};
    }
};

// The real scheduler: Qt timers on the thread that owns it, steady clock.
class MainScheduler final : public Scheduler {
public:
    explicit MainScheduler(QObject* context = nullptr);
    JobHandle schedule(Duration delay, std::function<void()> fn) override;
    TimePoint now() const override { return std::chrono::steady_clock::now(); }

private:
    QObject* context_;
};

// A duration given in (fractional) seconds, as the session timers are stated.
constexpr std::chrono::milliseconds fromSeconds(double s)
{
    return std::chrono::milliseconds(static_cast<long long>(s * 1000.0 + 0.5));
}
