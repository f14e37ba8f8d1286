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

// The right-hand modifier key that opens and sends a session.
enum class TriggerKey { rightOption, rightCommand, rightControl };

namespace TriggerKeys {
QList<TriggerKey> all();
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
public:
    // Reads every setting from `store` (which Prefs then owns). `apps` answers
    // the installed-application question when no destination is stored.
    Prefs(std::unique_ptr<QSettings> store, const InstalledApps& apps, QObject* parent = nullptr);
    ~Prefs() override;

    // The process-wide instance on the user's store (~/.config/Vell/Vell.conf).
    static Prefs& shared();

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
    void changed();

private:
    QString guessChatbot(const InstalledApps& apps) const;

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
