// What the session controller needs from the rest of the application. Each
// interface has a real Linux implementation and test doubles; the controller
// sets the callbacks and never learns what stands behind them.
#pragma once

#include "AutomationAccess.h"
#include "SessionModel.h"

#include <QCoro/QCoroTask>

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Speech to text. Callbacks arrive on the main thread.
class SpeechInput {
public:
    virtual ~SpeechInput() = default;
    std::function<void(const QString&)> onText; // the transcript so far
    std::function<void(const Mic&)> onState;
    std::function<void(float)> onLevel;

    // Prepares the on-device model; the result is ignored.
    virtual QCoro::Task<void> warmUp() = 0;
    // Starts listening; what is heard continues after `keeping`.
    virtual void start(const QString& keeping) = 0;
    // Stops listening, drains the recogniser for a bounded time and returns the final transcript.
    virtual QCoro::Task<QString> finish() = 0;
    // Stops at once and drops what was heard.
    virtual void teardown() = 0;
};

// The trigger-key monitor.
class TriggerInput {
public:
    virtual ~TriggerInput() = default;
    std::function<void()> onTap;
    std::function<void()> onEscape;
    virtual void start() = 0;
};

// The clipboard watcher of a session, and writing to the clipboard.
class ClipboardInput {
public:
    virtual ~ClipboardInput() = default;
    std::function<void(const Item&)> onClip;

    // Starts watching for a session; with includeRecent a copy made shortly before counts too.
    virtual void begin(bool includeRecent) = 0;
    // Whether copies are taken now.
    virtual void setLive(bool live) = 0;
    virtual bool live() const = 0;
    // Puts text and JPEG images on the clipboard, and marks that change as
    // the watcher's own so it is not taken as a new copy.
    virtual void setAllOwn(const QString& text, const QList<QByteArray>& images) = 0;
};

// Screenshots of the frontmost window.
class WindowCapture {
public:
    virtual ~WindowCapture() = default;
    // A `shot` item with app and title filled in, or none.
    virtual QCoro::Task<std::optional<Item>> frontWindow() = 0;
    // The platform's screen-capture preflight check.
    virtual bool screenCaptureAllowed() const = 0;
    // The shutter sound, when the setting is on.
    virtual void click() = 0;
};

// Everything done in the browser.
class BrowserAccess {
public:
    virtual ~BrowserAccess() = default;
    virtual QCoro::Task<AutomationAccess> access(Browser browser, bool ask) = 0;
    // Open tabs and recent chats of one assistant.
    virtual QCoro::Task<ChatList> listChats(Browser browser, const QString& host, const QString& chatPath) = 0;
    // Returns when the message was sent; throws DeliveryError (or another exception) otherwise.
    virtual QCoro::Task<void> deliver(const Delivery& delivery) = 0;
};

// The four things the HUD can ask of the controller.
struct HUDActions {
    std::function<void(const QUuid&)> remove;
    std::function<void()> add;
    std::function<void()> fix;
    std::function<void(const std::optional<ChatTarget>&)> pick;
};

// The floating panel of a session.
class HudSurface {
public:
    virtual ~HudSurface() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
};

// Windows, menus and process-level services around the session.
class AppShell {
public:
    virtual ~AppShell() = default;

    // Makes the HUD on first use.
    virtual HudSurface& hud(SessionModel& model, const HUDActions& actions) = 0;
    // The status menu, with the controller's two entry points.
    virtual void createStatusMenu(SessionModel& model, std::function<void()> openSettings,
                                  std::function<void()> openTutorial) = 0;
    // Shows onboarding (fresh content each time); `onClose` runs when its window closes,
    // `finish` is the flow's last step.
    virtual void showOnboarding(std::function<void()> onClose, std::function<void()> finish) = 0;
    virtual void closeOnboarding() = 0;
    // Shows settings; `replayTutorial` is the view's tutorial button.
    virtual void showSettings(std::function<void()> replayTutorial) = 0;
    virtual void closeSettings() = 0;
    // Saves a picture of the HUD panel as it is on screen now (PNG); failures are logged.
    virtual void snapHud(const QString& path) = 0;
    // Microphone, screen capture and accessibility, checked in that order.
    virtual bool allPermissionsGranted() const = 0;
    // Writes the artwork into a folder.
    virtual void exportArt(const QString& folder) = 0;
    // The software updater; absent on Linux.
    virtual void createUpdater() = 0;
    // Ends the process with a status.
    virtual void exit(int status) = 0;
};
