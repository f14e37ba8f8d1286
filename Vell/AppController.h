// The session controller: turns taps, Escape, speech, copies and HUD actions
// into session transitions, runs the session timers, aims the session at a
// chat, hands the message to the browser and shows the outcome. It also
// decides which window opens at start-up and on reopen, and runs the tool
// modes of the command line.
#pragma once

#include "Compose.h"
#include "ControllerPorts.h"
#include "Prefs.h"
#include "Scheduler.h"
#include "SessionModel.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <optional>

class AppController : public QObject {
    Q_OBJECT
public:
    // Everything the controller talks to; all must outlive it.
    struct Parts {
        SpeechInput& speech;
        TriggerInput& trigger;
        ClipboardInput& clipboard;
        WindowCapture& capture;
        BrowserAccess& browser;
        AppShell& shell;
    };

    // The session timers, as stated for the user-visible behaviour.
    static constexpr Scheduler::Duration commandDebounce = fromSeconds(0.6);
    static constexpr Scheduler::Duration pauseBeforeSending = fromSeconds(0.9);
    static constexpr Scheduler::Duration pauseWhenTurnedOff = fromSeconds(0.75);
    static constexpr Scheduler::Duration deliveryWatchdog = fromSeconds(75);
    static constexpr Scheduler::Duration sentDisplay = fromSeconds(1.4);
    static constexpr Scheduler::Duration failureDisplay = fromSeconds(3.5);
    static constexpr Scheduler::Duration fixableFailureDisplay = fromSeconds(7.0);

    AppController(Prefs& prefs, Scheduler& scheduler, Parts parts, QStringList arguments,
                  QObject* parent = nullptr);
    ~AppController() override;

    SessionModel& model() { return *model_; }

    // Called once after launch: wiring, warm-up, status menu, start-up options.
    void start();
    // The user opened the application again while it runs.
    void reopen();
    void showOnboarding(bool restart, std::optional<int> step);
    void showSettings();

private:
    using Chooser = std::function<std::optional<ChatTarget>(const ChatList&)>;

    // Session transitions.
    void tap();
    void escape();
    void open();
    void heard(const QString& text);
    void checkCommands();
    void beginSending();
    void deliver();
    void finish(const Phase& phase);
    void discard();
    void resume();
    void fixDelivery();

    // Chat target.
    void aim(const ChatIntent& intent);
    void setTarget(const std::optional<ChatTarget>& target);
    void pickTarget(const std::optional<ChatTarget>& target);
    void loadChats();

    // Attachments.
    void addClip(const Item& item);
    void removeItem(const QUuid& id);

    // Tasks on the main thread. Each starts on a later turn of the event loop
    // (as a queued task does, so the operation that started it completes
    // first) and re-checks its guards after every await.
    QCoro::Task<void> resolve(ChatIntent intent, Chooser choose);
    QCoro::Task<void> loadChatsTask(std::shared_ptr<bool> cancelled, Destination destination,
                                    Browser browser);
    QCoro::Task<void> captureShot(bool automatic);
    QCoro::Task<void> finishTranscript();
    QCoro::Task<void> runDelivery(Delivery delivery, int id);
    QCoro::Task<void> warmUp();

    // Start-up.
    bool hasOption(const QString& option) const;
    bool exportArtIfAsked();
    // The staged session of "--demo", shown in the real HUD.
    void demo();
    void wireInputs();
    void applyStartupOptions();
    QCoro::Task<void> logAutomationStatus();
    QCoro::Task<void> logChatLists();

    HudSurface& hud();
    void watchdogFired(int id, const QString& text);
    void putOnClipboard(const QString& text, const QList<QByteArray>& images);
    bool chatsApply() const;
    // Wraps a member call so that it does nothing once the controller is gone.
    template <typename F> auto weakly(F f)
    {
        return [self = QPointer<AppController>(this), f](auto&&... args) {
            if (self) f(self.data(), std::forward<decltype(args)>(args)...);
        };
    }

    Prefs& prefs_;
    Scheduler& scheduler_;
    Parts parts_;
    QStringList arguments_;
    std::unique_ptr<SessionModel> model_;
    HudSurface* hud_ = nullptr;
    JobHandle pending_;
    JobHandle commandCheck_;
    int consumed_ = 0;
    std::optional<ChatIntent> lastIntent_;
    std::shared_ptr<bool> chatsCancelled_;
    int deliveryID_ = 0;
};
