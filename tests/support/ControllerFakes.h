// Doubles for everything the session controller talks to. Asynchronous
// answers wait on the virtual scheduler, so a test can make a listing or a
// delivery take any time and finish after something else happened.
#pragma once

#include "ControllerPorts.h"
#include "VirtualScheduler.h"

#include <QStringList>

#include <optional>
#include <stdexcept>

class FakeSpeech final : public SpeechInput {
public:
    QStringList calls; // "warmUp", "start:<keeping>", "finish", "teardown"
    QString finalText; // what finish() returns

    QCoro::Task<void> warmUp() override
    {
        calls << QStringLiteral("warmUp");
        co_return;
    }
    void start(const QString& keeping) override { calls << QStringLiteral("start:") + keeping; }
    QCoro::Task<QString> finish() override
    {
        calls << QStringLiteral("finish");
        co_return finalText;
    }
    void teardown() override { calls << QStringLiteral("teardown"); }

    void say(const QString& text) { onText(text); }
};

class FakeTrigger final : public TriggerInput {
public:
    int starts = 0;
    void start() override { ++starts; }
    void tap() { onTap(); }
    void escape() { onEscape(); }
};

class FakeClipboard final : public ClipboardInput {
public:
    bool isLive = false;
    QList<bool> begins; // includeRecent of each begin
    struct Written {
        QString text;
        QList<QByteArray> images;
    };
    QList<Written> written;

    void begin(bool includeRecent) override
    {
        begins << includeRecent;
        isLive = true;
    }
    void setLive(bool on) override { isLive = on; }
    bool live() const override { return isLive; }
    void setAllOwn(const QString& text, const QList<QByteArray>& images) override
    {
        written << Written{text, images};
    }
    void copy(const QString& text, const QString& app = QStringLiteral("Editor"))
    {
        onClip(Item::clip(text, app));
    }
};

class FakeCapture final : public WindowCapture {
public:
    explicit FakeCapture(VirtualScheduler& s) : scheduler(s) {}
    VirtualScheduler& scheduler;
    // Bytes of the next screenshot; none means no window to capture.
    std::optional<QByteArray> nextJpeg = QByteArray("window-1");
    Scheduler::Duration delay{0};
    bool allowed = true;
    int clicks = 0;
    int captures = 0;

    QCoro::Task<std::optional<Item>> frontWindow() override
    {
        ++captures;
        const auto jpeg = nextJpeg;
        co_await scheduler.sleep(delay);
        if (!jpeg) co_return std::nullopt;
        co_return Item::shot(QImage(), *jpeg, QStringLiteral("Terminal"), QStringLiteral("build"));
    }
    bool screenCaptureAllowed() const override { return allowed; }
    void click() override { ++clicks; }
};

class FakeBrowser final : public BrowserAccess {
public:
    explicit FakeBrowser(VirtualScheduler& s) : scheduler(s) {}
    VirtualScheduler& scheduler;

    // Each listing takes the list and delay set when it was asked for.
    ChatList chats;
    Scheduler::Duration listDelay{0};
    int listings = 0;

    // Each delivery takes the outcome set when it started.
    Scheduler::Duration deliverDelay{0};
    std::optional<DeliveryError> deliverError;
    bool deliverFails = false; // with no deliverError: a failure that is not a delivery error
    QList<Delivery> deliveries;

    QCoro::Task<AutomationAccess> access(Browser, bool) override { co_return AutomationAccess::granted; }
    QCoro::Task<ChatList> listChats(Browser, const QString&, const QString&) override
    {
        ++listings;
        const ChatList list = chats;
        co_await scheduler.sleep(listDelay);
        co_return list;
    }
    QCoro::Task<void> deliver(const Delivery& delivery) override
    {
        deliveries << delivery;
        const auto error = deliverError;
        const bool fails = deliverFails;
        co_await scheduler.sleep(deliverDelay);
        if (error) throw *error;
        if (fails) throw std::runtime_error("connection reset");
    }
};

class FakeHud final : public HudSurface {
public:
    bool visible = false;
    int shows = 0;
    void show() override
    {
        visible = true;
        ++shows;
    }
    void hide() override { visible = false; }
};

class FakeShell final : public AppShell {
public:
    FakeHud hudSurface;
    HUDActions actions;
    bool menuMade = false;
    std::function<void()> menuOpenSettings, menuOpenTutorial;
    QStringList
        windows; // "onboarding", "settings", "snap:<path>", "updater", "art:<folder>", "exit:<n>", closes
    std::function<void()> onboardingClose, onboardingFinish, replayTutorial;
    bool permissions = true;

    HudSurface& hud(SessionModel&, const HUDActions& a) override
    {
        actions = a;
        return hudSurface;
    }
    void createStatusMenu(SessionModel&, std::function<void()> openSettings,
                          std::function<void()> openTutorial) override
    {
        menuMade = true;
        menuOpenSettings = std::move(openSettings);
        menuOpenTutorial = std::move(openTutorial);
    }
    void showOnboarding(std::function<void()> onClose, std::function<void()> finish) override
    {
        windows << QStringLiteral("onboarding");
        onboardingClose = std::move(onClose);
        onboardingFinish = std::move(finish);
    }
    void closeOnboarding() override { windows << QStringLiteral("close onboarding"); }
    void showSettings(std::function<void()> replay) override
    {
        windows << QStringLiteral("settings");
        replayTutorial = std::move(replay);
    }
    void closeSettings() override { windows << QStringLiteral("close settings"); }
    void snapHud(const QString& path) override { windows << QStringLiteral("snap:") + path; }
    bool allPermissionsGranted() const override { return permissions; }
    void exportArt(const QString& folder) override { windows << QStringLiteral("art:") + folder; }
    void createUpdater() override { windows << QStringLiteral("updater"); }
    void exit(int status) override { windows << QStringLiteral("exit:") + QString::number(status); }
};
