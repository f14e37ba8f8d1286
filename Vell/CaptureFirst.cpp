#include "CaptureFirst.h"

class CaptureFirst::HeldHud final : public HudSurface {
public:
    HeldHud(CaptureFirst& owner, HudSurface& hud) : owner_(owner), hud_(hud) {}
    ~HeldHud() override { cancelWait(); }

    void show() override
    {
        cancelWait();
        if (!owner_.holdHud_ || !owner_.holdHud_()) {
            hud_.show();
            return;
        }
        waiting_ = true;
        timeout_ = owner_.scheduler_.schedule(longestWait, [this] { release(); });
    }
    void hide() override
    {
        cancelWait();
        hud_.hide();
    }
    void release()
    {
        if (!waiting_) return;
        cancelWait();
        hud_.show();
    }

private:
    void cancelWait()
    {
        waiting_ = false;
        if (timeout_) timeout_->cancel();
        timeout_.reset();
    }

    CaptureFirst& owner_;
    HudSurface& hud_;
    bool waiting_ = false;
    JobHandle timeout_;
};

CaptureFirst::CaptureFirst(WindowCapture& inner, Scheduler& scheduler, std::function<bool()> holdHud)
    : inner_(inner), scheduler_(scheduler), holdHud_(std::move(holdHud))
{
}

CaptureFirst::~CaptureFirst() = default;

HudSurface& CaptureFirst::guard(HudSurface& hud)
{
    held_ = std::make_unique<HeldHud>(*this, hud);
    return *held_;
}

QCoro::Task<std::optional<Item>> CaptureFirst::frontWindow()
{
    std::optional<Item> shot = co_await inner_.frontWindow();
    release();
    co_return shot;
}

void CaptureFirst::release()
{
    if (held_) held_->release();
}
