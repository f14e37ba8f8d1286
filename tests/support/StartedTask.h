// Starts a coroutine and keeps its outcome, so a test can move (virtual or
// real) time along and then look at what the task produced or threw.
#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

template <typename T> class StartedTask {
public:
    explicit StartedTask(QCoro::Task<T>&& task) : state_(std::make_shared<State>())
    {
        drive(std::move(task), state_);
    }

    bool done() const { return state_->done; }
    bool failed() const { return state_->done && state_->error != nullptr; }
    bool succeeded() const { return state_->done && state_->error == nullptr; }
    // The value of a task that returned (T other than void).
    const auto& value() const { return *state_->value; }
    std::exception_ptr exception() const { return state_->error; }
    // The failure as E, or none when the task did not throw an E.
    template <typename E> std::optional<E> error() const
    {
        if (!state_->error) return std::nullopt;
        try {
            std::rethrow_exception(state_->error);
        } catch (const E& e) {
            return e;
        } catch (...) {
            return std::nullopt;
        }
    }

private:
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;
    struct State {
        bool done = false;
        std::optional<Stored> value;
        std::exception_ptr error;
    };

    // The task's frame holds the shared state, so the outcome lands even if
    // this object is gone by then.
    static QCoro::Task<void> drive(QCoro::Task<T> task, std::shared_ptr<State> state)
    {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                state->value = true;
            } else {
                state->value = co_await task;
            }
        } catch (...) {
            state->error = std::current_exception();
        }
        state->done = true;
    }

    std::shared_ptr<State> state_;
};
