#include "Prefs.h"

#include <QStandardPaths>

namespace {

namespace Key {
const QString destination = QStringLiteral("dest");
const QString browser = QStringLiteral("browser2");
const QString trigger = QStringLiteral("trigger");
const QString autoScreenshot = QStringLiteral("autoShot");
const QString includeRecentCopy = QStringLiteral("recentCopy");
const QString pauseBeforeSend = QStringLiteral("pause");
const QString shutterSound = QStringLiteral("sound");
const QString onboarded = QStringLiteral("onboarded");
const QString onboardingStep = QStringLiteral("onboardingStep");

QString sticky(const Destination& destination)
{
    return QStringLiteral("sticky.") + destination.id;
}
} // namespace Key

// A switch that is on unless the store holds an explicit boolean false. INI
// keeps no types, so a boolean is the text QSettings writes for one; values
// written by this process are still typed until the file is read again.
bool switchOn(const QSettings& store, const QString& key)
{
    const QVariant value = store.value(key);
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    if (value.typeId() != QMetaType::QString) return true;
    return value.toString().compare(QStringLiteral("false"), Qt::CaseInsensitive) != 0;
}

// Read through text: QVariant's own string-to-int conversion silently wraps
// numbers that do not fit.
int integerOrZero(const QSettings& store, const QString& key)
{
    bool ok = false;
    const int n = store.value(key).toString().toInt(&ok);
    return ok ? n : 0;
}

class NothingInstalled final : public InstalledApps {
public:
    bool isInstalled(const QString&) const override { return false; }
};

std::function<std::unique_ptr<InstalledApps>()>& sharedAppsFactory()
{
    static std::function<std::unique_ptr<InstalledApps>()> make;
    return make;
}

} // namespace

// MARK: TriggerKeys

namespace TriggerKeys {

QList<TriggerKey> all()
{
    return {TriggerKey::rightOption, TriggerKey::rightCommand, TriggerKey::rightControl};
}

QString rawValue(TriggerKey key)
{
    switch (key) {
    case TriggerKey::rightOption:
        return QStringLiteral("rightOption");
    case TriggerKey::rightCommand:
        return QStringLiteral("rightCommand");
    case TriggerKey::rightControl:
        return QStringLiteral("rightControl");
    }
    return {};
}

std::optional<TriggerKey> fromRaw(const QString& raw)
{
    for (TriggerKey key : all()) {
        if (rawValue(key) == raw) return key;
    }
    return std::nullopt;
}

QString label(TriggerKey key)
{
    return QStringLiteral("Right ") + symbol(key);
}

QString symbol(TriggerKey key)
{
    switch (key) {
    case TriggerKey::rightOption:
        return QStringLiteral("Alt");
    case TriggerKey::rightCommand:
        return QStringLiteral("Super");
    case TriggerKey::rightControl:
        return QStringLiteral("Ctrl");
    }
    return {};
}

} // namespace TriggerKeys

// MARK: Prefs

Prefs::Prefs(std::unique_ptr<QSettings> store, const InstalledApps& apps, QObject* parent)
    : QObject(parent), store_(std::move(store))
{
    // Computed defaults stay in memory: the store learns a destination or a
    // browser only when the user picks one.
    destinationID_ =
        store_->contains(Key::destination) ? store_->value(Key::destination).toString() : guessChatbot(apps);
    browserID_ = store_->contains(Key::browser) ? store_->value(Key::browser).toString() : Browsers::chromeID;
    trigger_ = TriggerKeys::fromRaw(store_->value(Key::trigger).toString()).value_or(TriggerKey::rightOption);
    autoScreenshot_ = switchOn(*store_, Key::autoScreenshot);
    includeRecentCopy_ = switchOn(*store_, Key::includeRecentCopy);
    pauseBeforeSend_ = switchOn(*store_, Key::pauseBeforeSend);
    shutterSound_ = switchOn(*store_, Key::shutterSound);
    onboarded_ = store_->value(Key::onboarded).toBool();
    onboardingStep_ = integerOrZero(*store_, Key::onboardingStep);
}

Prefs::~Prefs() = default;

QString Prefs::sharedStorePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Vell/Vell.conf");
}

Prefs& Prefs::shared()
{
    static Prefs* instance = [] {
        const QString path = sharedStorePath();
        const auto& make = sharedAppsFactory();
        const std::unique_ptr<InstalledApps> apps = make ? make() : std::make_unique<NothingInstalled>();
        // Lives until the process ends, like every other long-lived part.
        return new Prefs(std::make_unique<QSettings>(path, QSettings::IniFormat), *apps);
    }();
    return *instance;
}

void Prefs::setSharedInstalledApps(std::function<std::unique_ptr<InstalledApps>()> make)
{
    sharedAppsFactory() = std::move(make);
}

QString Prefs::guessChatbot(const InstalledApps& apps) const
{
    if (apps.isInstalled(QStringLiteral("com.anthropic.claudefordesktop"))) return QStringLiteral("claude");
    if (apps.isInstalled(QStringLiteral("com.openai.chat"))) return QStringLiteral("chatgpt");
    if (apps.isInstalled(QStringLiteral("com.openai.codex"))) return QStringLiteral("chatgpt");
    return QStringLiteral("claude");
}

void Prefs::write(const QString& key, const QVariant& value)
{
    store_->setValue(key, value);
    store_->sync();
}

void Prefs::setDestinationID(const QString& id)
{
    destinationID_ = id;
    write(Key::destination, id);
    Q_EMIT destinationIDChanged();
    Q_EMIT changed();
}

void Prefs::setBrowserID(const QString& id)
{
    browserID_ = id;
    write(Key::browser, id);
    Q_EMIT browserIDChanged();
    Q_EMIT changed();
}

void Prefs::setTrigger(TriggerKey key)
{
    trigger_ = key;
    write(Key::trigger, TriggerKeys::rawValue(key));
    Q_EMIT triggerChanged();
    Q_EMIT changed();
}

void Prefs::setAutoScreenshot(bool on)
{
    autoScreenshot_ = on;
    write(Key::autoScreenshot, on);
    Q_EMIT autoScreenshotChanged();
    Q_EMIT changed();
}

void Prefs::setIncludeRecentCopy(bool on)
{
    includeRecentCopy_ = on;
    write(Key::includeRecentCopy, on);
    Q_EMIT includeRecentCopyChanged();
    Q_EMIT changed();
}

void Prefs::setPauseBeforeSend(bool on)
{
    pauseBeforeSend_ = on;
    write(Key::pauseBeforeSend, on);
    Q_EMIT pauseBeforeSendChanged();
    Q_EMIT changed();
}

void Prefs::setShutterSound(bool on)
{
    shutterSound_ = on;
    write(Key::shutterSound, on);
    Q_EMIT shutterSoundChanged();
    Q_EMIT changed();
}

void Prefs::setOnboarded(bool on)
{
    onboarded_ = on;
    write(Key::onboarded, on);
    Q_EMIT onboardedChanged();
    Q_EMIT changed();
}

void Prefs::setOnboardingStep(int step)
{
    onboardingStep_ = step;
    write(Key::onboardingStep, step);
    Q_EMIT onboardingStepChanged();
    Q_EMIT changed();
}

const Destination& Prefs::destination() const
{
    for (const Destination& d : Destination::all()) {
        if (d.id == destinationID_) return d;
    }
    return Destination::claude();
}

std::optional<ChatTarget> Prefs::stickyChat(const Destination& destination) const
{
    // Unreadable data reads as no chat and is left in the store as it is.
    return ChatTarget::fromJson(store_->value(Key::sticky(destination)).toByteArray());
}

void Prefs::setStickyChat(const std::optional<ChatTarget>& target, const Destination& destination)
{
    if (target) {
        store_->setValue(Key::sticky(destination), target->toJson());
    } else {
        store_->remove(Key::sticky(destination));
    }
    store_->sync();
}
