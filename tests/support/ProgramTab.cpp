#include "ProgramTab.h"

#include <stdexcept>

namespace {

// Writing program text needs no runner, processes or clock; anything that
// tries to run one through these is a mistake in the test.
struct NoDriver final : ScriptRunner, BrowserApps {
    QCoro::Task<QString> run(const QString&, Browser, std::chrono::milliseconds) override
    {
        throw std::logic_error("programTab() only writes programs");
    }
    bool isRunning(Browser) const override { return true; }
    void launchInBackground(Browser, const QString&) override {}
};

} // namespace

BrowserTab programTab(const QString& host, const QString& prefer)
{
    static NoDriver none;
    static MainScheduler clock;
    return BrowserTab(BrowserDriver{none, none, clock}, Browser::chrome, host, prefer);
}
