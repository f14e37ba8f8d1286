// Start-up of the controller: wiring the inputs, the command-line tool modes,
// the first-window rule, reopen and the two windows.
#include "AppController.h"

#include "Demo.h"
#include "Log.h"
#include "ToolModes.h"

bool AppController::hasOption(const QString& option) const
{
    return arguments_.contains(option);
}

bool AppController::exportArtIfAsked()
{
    const qsizetype at = arguments_.indexOf(QStringLiteral("--export-art"));
    // Ignored when it is the last argument: there is no folder to write to.
    if (at < 0 || at + 1 >= arguments_.size()) return false;
    parts_.shell.exportArt(arguments_.at(at + 1));
    parts_.shell.exit(0);
    return true;
}

void AppController::start()
{
    if (exportArtIfAsked()) return;
    Log::write(QStringLiteral("launch"));
    warmUp();
    parts_.shell.createStatusMenu(*model_, weakly([](AppController* c) { c->showSettings(); }),
                                  weakly([](AppController* c) { c->showOnboarding(true, std::nullopt); }));
    wireInputs();
    parts_.trigger.start();
    applyStartupOptions();
}

QCoro::Task<void> AppController::warmUp()
{
    QPointer<AppController> self(this);
    co_await scheduler_.sleep(Scheduler::Duration(0));
    if (!self) co_return;
    co_await parts_.speech.warmUp();
}

void AppController::wireInputs()
{
    parts_.speech.onText = weakly([](AppController* c, const QString& text) { c->heard(text); });
    parts_.speech.onState = weakly([](AppController* c, const Mic& mic) { c->model_->setMic(mic); });
    parts_.speech.onLevel = weakly([](AppController* c, float level) {
        c->model_->setLevel(std::max(level, c->model_->level() * 0.6f));
    });
    parts_.clipboard.onClip = weakly([](AppController* c, const Item& item) { c->addClip(item); });
    parts_.trigger.onTap = weakly([](AppController* c) { c->tap(); });
    parts_.trigger.onEscape = weakly([](AppController* c) { c->escape(); });
}

void AppController::applyStartupOptions()
{
    // Only the first present option, in this order, takes effect.
    if (hasOption(QStringLiteral("--demo"))) {
        demo();
    } else if (hasOption(QStringLiteral("--settings"))) {
        showSettings();
    } else if (hasOption(QStringLiteral("--automation-status"))) {
        logAutomationStatus();
    } else if (hasOption(QStringLiteral("--list-chats"))) {
        logChatLists();
    } else {
        parts_.shell.createUpdater();
        if (!(prefs_.onboarded() && parts_.shell.allPermissionsGranted()))
            showOnboarding(false, std::nullopt);
    }
}

void AppController::demo()
{
    Demo::stage(*model_, prefs_, arguments_);
    hud().show();
    if (const std::optional<QString> path = Demo::snapPath(arguments_))
        scheduler_.schedule(fromSeconds(1.5),
                            weakly([path = *path](AppController* c) { c->parts_.shell.snapHud(path); }));
}

// The same listings the terminal tool modes print; here they only go to the log.
QCoro::Task<void> AppController::logAutomationStatus()
{
    QPointer<AppController> self(this);
    co_await scheduler_.sleep(Scheduler::Duration(0));
    if (!self) co_return;
    const int status = co_await ToolModes::automationStatus(parts_.browser, {});
    if (self) parts_.shell.exit(status);
}

QCoro::Task<void> AppController::logChatLists()
{
    QPointer<AppController> self(this);
    co_await scheduler_.sleep(Scheduler::Duration(0));
    if (!self) co_return;
    const int status =
        co_await ToolModes::listChats(parts_.browser, Browsers::fromPreference(prefs_.browserID()), {});
    if (self) parts_.shell.exit(status);
}

void AppController::reopen()
{
    if (prefs_.onboarded() && parts_.shell.allPermissionsGranted())
        showSettings();
    else
        showOnboarding(false, std::nullopt);
}

void AppController::showOnboarding(bool restart, std::optional<int> step)
{
    if (restart)
        prefs_.setOnboardingStep(0);
    else if (prefs_.onboarded())
        // A user who never finished keeps the stored step and resumes where they stopped.
        prefs_.setOnboardingStep(step.value_or(2));
    parts_.shell.showOnboarding(weakly([](AppController* c) { c->model_->setPractice(false); }),
                                weakly([](AppController* c) {
                                    c->prefs_.setOnboarded(true);
                                    c->parts_.shell.closeOnboarding();
                                }));
}

void AppController::showSettings()
{
    parts_.shell.showSettings(weakly([](AppController* c) {
        c->parts_.shell.closeSettings();
        c->showOnboarding(true, std::nullopt);
    }));
}
