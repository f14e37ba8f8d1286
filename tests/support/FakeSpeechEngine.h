// A recogniser the test speaks for. Every run leaves a record that outlives
// the run itself, so a test can deliver the late answers of a cancelled run.
#pragma once

#include "SpeechEngine.h"

#include <coroutine>
#include <utility>
#include <vector>

class FakeSpeechEngine final : public SpeechEngine {
public:
    struct RunRecord {
        Shape shape = Shape::segments;
        Callbacks callbacks;
        QByteArray fed;
        bool audioEnded = false;
        bool cancelled = false; // the run object was destroyed

        void result(const QString& text, bool isFinal = false) { callbacks.result({text, isFinal}); }
        void done(const QString& error = {}) { callbacks.done(error); }
    };

    AccessStatus authorization = AccessStatus::authorized;
    QString prepareError;
    int rate = 16000;
    // prepare() waits for completePrepare() instead of answering at once.
    bool holdPrepare = false;

    int prepares = 0;
    std::vector<std::shared_ptr<RunRecord>> runs;

    QString name() const override { return QStringLiteral("fake"); }
    QCoro::Task<AccessStatus> requestAuthorization() override { co_return authorization; }
    QCoro::Task<QString> prepare() override
    {
        ++prepares;
        if (holdPrepare) co_await Gate{*this};
        co_return prepareError;
    }
    int sampleRate() const override { return rate; }
    std::unique_ptr<Run> begin(Shape shape, Callbacks callbacks) override
    {
        auto record = std::make_shared<RunRecord>();
        record->shape = shape;
        record->callbacks = std::move(callbacks);
        runs.push_back(record);
        return std::make_unique<FakeRun>(record);
    }

    // Lets every waiting prepare() answer.
    void completePrepare()
    {
        for (std::coroutine_handle<> waiter : std::exchange(waiting_, {}))
            waiter.resume();
    }
    int waitingPrepares() const { return int(waiting_.size()); }
    RunRecord& lastRun() { return *runs.back(); }

private:
    struct Gate {
        FakeSpeechEngine& engine;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { engine.waiting_.push_back(handle); }
        void await_resume() const noexcept {}
    };

    class FakeRun final : public Run {
    public:
        explicit FakeRun(std::shared_ptr<RunRecord> record) : record_(std::move(record)) {}
        ~FakeRun() override { record_->cancelled = true; }
        std::function<void(const QByteArray&)> feeder() override
        {
            return [record = record_](const QByteArray& pcm) { record->fed += pcm; };
        }
        void endAudio() override { record_->audioEnded = true; }

    private:
        std::shared_ptr<RunRecord> record_;
    };

    std::vector<std::coroutine_handle<>> waiting_;
};
