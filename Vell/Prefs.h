// The user's settings: an observable copy of each value, written straight
// back to the per-user store on every assignment.
#pragma once

#include "SessionModel.h"

#include <QObject>
#include <QSettings>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace TriggerKeys {
Q_NAMESPACE
// The right-hand modifier key that opens and sends a session. Registered with
// the meta-object system so views can bind to Prefs::trigger.
enum class Key { rightOption, rightCommand, rightControl };
Q_ENUM_NS(Key)
} // namespace TriggerKeys

using TriggerKey = TriggerKeys::Key;

namespace TriggerKeys {
// In the order the settings list them.
QList<TriggerKey> all();
// "rightOption", "rightCommand", "rightControl": what the store holds.
QString rawValue(TriggerKey key);
std::optional<TriggerKey> fromRaw(const QString& raw);
// "Right Alt", "Right Super", "Right Ctrl".
QString label(TriggerKey key);
// "Alt", "Super", "Ctrl".
QString symbol(TriggerKey key);
} // namespace TriggerKeys

// Answers whether an application known by its macOS-style bundle identifier is
// installed; on Linux, through desktop files.
class InstalledApps {
public:
    virtual ~InstalledApps() = default;
    virtual bool isInstalled(const QString& bundleIdentifier) const = 0;
};

class Prefs : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        QString destinationID READ destinationID WRITE setDestinationID NOTIFY destinationIDChanged FINAL)
    Q_PROPERTY(QString browserID READ browserID WRITE setBrowserID NOTIFY browserIDChanged FINAL)
    Q_PROPERTY(TriggerKeys::Key trigger READ trigger WRITE setTrigger NOTIFY triggerChanged FINAL)
    Q_PROPERTY(
        bool autoScreenshot READ autoScreenshot WRITE setAutoScreenshot NOTIFY autoScreenshotChanged FINAL)
    Q_PROPERTY(bool includeRecentCopy READ includeRecentCopy WRITE setIncludeRecentCopy NOTIFY
                   includeRecentCopyChanged FINAL)
    Q_PROPERTY(bool pauseBeforeSend READ pauseBeforeSend WRITE setPauseBeforeSend NOTIFY
                   pauseBeforeSendChanged FINAL)
    Q_PROPERTY(bool shutterSound READ shutterSound WRITE setShutterSound NOTIFY shutterSoundChanged FINAL)
    Q_PROPERTY(bool onboarded READ onboarded WRITE setOnboarded NOTIFY onboardedChanged FINAL)
    Q_PROPERTY(
        int onboardingStep READ onboardingStep WRITE setOnboardingStep NOTIFY onboardingStepChanged FINAL)
public:
    // Reads every setting from `store` (which Prefs then owns). `apps` answers
    // the installed-application question when no destination is stored.
    Prefs(std::unique_ptr<QSettings> store, const InstalledApps& apps, QObject* parent = nullptr);
    ~Prefs() override;

    // The process-wide instance on the user's store (~/.config/Vell/Vell.conf),
    // made on first use. Its destination guess asks the applications named by
    // setSharedInstalledApps; without that, nothing counts as installed.
    static Prefs& shared();
    // The file shared() reads and writes: ~/.config/Vell/Vell.conf.
    static QString sharedStorePath();
    // How shared() learns which applications are installed: `make` runs once,
    // when shared() is first made. Call before anything reads shared().
    static void setSharedInstalledApps(std::function<std::unique_ptr<InstalledApps>()> make);

    QString destinationID() const { return destinationID_; }
    void setDestinationID(const QString& id);
    QString browserID() const { return browserID_; }
    void setBrowserID(const QString& id);
    TriggerKey trigger() const { return trigger_; }
    void setTrigger(TriggerKey key);
    bool autoScreenshot() const { return autoScreenshot_; }
    void setAutoScreenshot(bool on);
    bool includeRecentCopy() const { return includeRecentCopy_; }
    void setIncludeRecentCopy(bool on);
    bool pauseBeforeSend() const { return pauseBeforeSend_; }
    void setPauseBeforeSend(bool on);
    bool shutterSound() const { return shutterSound_; }
    void setShutterSound(bool on);
    bool onboarded() const { return onboarded_; }
    void setOnboarded(bool on);
    int onboardingStep() const { return onboardingStep_; }
    void setOnboardingStep(int step);

    // The row of the destination table named by destinationID, else Claude.
    const Destination& destination() const;

    // The chat remembered for a destination; none when absent or unreadable.
    std::optional<ChatTarget> stickyChat(const Destination& destination) const;
    // Remembers a chat, or forgets it with none.
    void setStickyChat(const std::optional<ChatTarget>& target, const Destination& destination);

    QSettings& store() { return *store_; }

Q_SIGNALS:
    // Emitted on every assignment, equal values included.
    void destinationIDChanged();
    void browserIDChanged();
    void triggerChanged();
    void autoScreenshotChanged();
    void includeRecentCopyChanged();
    void pauseBeforeSendChanged();
    void shutterSoundChanged();
    void onboardedChanged();
    void onboardingStepChanged();
    // Any field; for views that redraw as a whole.
    void changed();

private:
    QString guessChatbot(const InstalledApps& apps) const;
    // Writes one value and flushes it so another reader of the file sees it at once.
    void write(const QString& key, const QVariant& value);

    std::unique_ptr<QSettings> store_;
    QString destinationID_;
    QString browserID_;
    TriggerKey trigger_ = TriggerKey::rightOption;
    bool autoScreenshot_ = true;
    bool includeRecentCopy_ = true;
    bool pauseBeforeSend_ = true;
    bool shutterSound_ = true;
    bool onboarded_ = false;
    int onboardingStep_ = 0;
};
