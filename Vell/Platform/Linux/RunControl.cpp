#include "RunControl.h"

void RunControl::timeUp()
{
    std::lock_guard lock(mutex_);
    timeUp_ = true;
    endLocked();
}

void RunControl::end()
{
    std::lock_guard lock(mutex_);
    endLocked();
}

void RunControl::endLocked()
{
    if (!ended_) {
        ended_ = true;
        if (endHook_) endHook_();
    }
    cv_.notify_all();
}

bool RunControl::ended() const
{
    std::lock_guard lock(mutex_);
    return ended_;
}

bool RunControl::isTimeUp() const
{
    std::lock_guard lock(mutex_);
    return timeUp_;
}

void RunControl::setEndHook(std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    endHook_ = std::move(hook);
    if (ended_ && endHook_) endHook_();
}

bool RunControl::waitUntil(const std::function<bool()>& ready)
{
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return ended_ || ready(); });
    return ready();
}

void RunControl::update(const std::function<void()>& change)
{
    std::lock_guard lock(mutex_);
    change();
    cv_.notify_all();
}

bool RunControl::sleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock lock(mutex_);
    return !cv_.wait_for(lock, duration, [&] { return ended_; });
}
