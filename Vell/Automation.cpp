#include "Automation.h"

#include "Log.h"

#include <QPointer>

using namespace std::chrono_literals;

namespace {

constexpr auto probeLimit = 10s;
constexpr auto launchPause = 300ms;
constexpr int launchRounds = 30;
constexpr auto settlePause = 1500ms;

const QString automationDenied = QStringLiteral("automation-denied");

QString testExpression(Browser browser)
{
    return browser == Browser::chrome ? QStringLiteral("t.execute({javascript: '1+1'})")
                                      : QStringLiteral("app.doJavaScript('1+1', {in: t})");
}

QString timedOutMessage(Browser browser)
{
    const QString name = Browsers::displayName(browser);
    const QString hint = browser == Browser::chrome
                             ? QStringLiteral("If Chrome asks to allow remote debugging, click Allow")
                             : QStringLiteral("If a dialog is open, click OK");
    return name + QStringLiteral(" didn't answer within 10 seconds. ") + hint +
           QStringLiteral(", then check again.");
}

// The sentence for a failed probe run; "automation-denied" for a refusal.
QString verdictFor(const DeliveryError& error, Browser browser)
{
    switch (error.kind()) {
    case DeliveryError::Kind::automationDenied:
        return automationDenied;
    case DeliveryError::Kind::jsOff:
        return Automation::settingOffMessage(browser);
    case DeliveryError::Kind::timedOut:
        return timedOutMessage(browser);
    default:
        return error.errorDescription();
    }
}

} // namespace

// MARK: Automation

namespace Automation {

QCoro::Task<AutomationAccess> access(AutomationBackend& backend, Browser browser, bool ask)
{
    const AutomationAccess answer = co_await backend.access(browser, ask);
    Log::write(QStringLiteral("automation ") + Browsers::displayName(browser) + QStringLiteral(": ") +
               caseName(answer));
    co_return answer;
}

void resetAnswer(AutomationBackend& backend)
{
    backend.resetAnswer();
}

QString settingOffMessage(Browser browser)
{
    if (browser == Browser::safari)
        return QStringLiteral("Not on yet. Turn on both Safari settings shown above, then check again.");
    return QStringLiteral(
        "Not on yet. In Chrome, open chrome://inspect/#remote-debugging and turn on "
        "\u201CAllow remote debugging for this browser instance\u201D, in the profile you use "
        "the chat in.");
}

} // namespace Automation

// MARK: BrowserTab::probe

QString BrowserTab::probeBody() const
{
    return pickJS() +
           QStringLiteral("if (app.windows.length === 0) return 'nowindow';\n"
                          "const t = pick();\n"
                          "if (!t) return 'notab';\n"
                          "return String(") +
           testExpression(browser_) + QStringLiteral(");");
}

QCoro::Task<std::optional<QString>> BrowserTab::probe(BrowserDriver driver, Browser browser, QString host)
{
    const BrowserTab tab(driver, browser, host);
    const QString name = Browsers::displayName(browser);
    QString result;
    try {
        result = co_await tab.run(tab.probeBody(), {}, probeLimit);
    } catch (const DeliveryError& error) {
        Log::write(QStringLiteral("probe ") + name + QStringLiteral(" failed: ") + error.rendered());
        co_return verdictFor(error, browser);
    } catch (const std::exception& error) {
        Log::write(QStringLiteral("probe ") + name + QStringLiteral(" failed: ") +
                   QString::fromUtf8(error.what()));
        co_return QString::fromUtf8(error.what());
    }
    Log::write(QStringLiteral("probe ") + name + QStringLiteral(": ") + result);
    if (result == QLatin1String("2")) co_return std::nullopt;
    if (result == QLatin1String("nowindow") || result == QLatin1String("notab"))
        co_return QStringLiteral("Open ") + host + QStringLiteral(" in ") + name +
            QStringLiteral(", then check again.");
    co_return QStringLiteral("Reload your ") + host + QStringLiteral(" tab in ") + name +
        QStringLiteral(", then check again.");
}

// MARK: BrowserProbe

QString BrowserProbe::State::name() const
{
    switch (kind) {
    case Kind::failed:
        return QStringLiteral("failed");
    case Kind::untested:
        return QStringLiteral("untested");
    case Kind::launching:
        return QStringLiteral("launching");
    case Kind::checking:
        return QStringLiteral("checking");
    case Kind::waitingForOK:
        return QStringLiteral("waitingForOK");
    case Kind::ok:
        return QStringLiteral("ok");
    case Kind::denied:
        return QStringLiteral("denied");
    }
    return {};
}

QString BrowserProbe::State::rendered() const
{
    return kind == Kind::failed ? name() + QStringLiteral("(\"") + message + QStringLiteral("\")") : name();
}

BrowserProbe::BrowserProbe(BrowserDriver driver, AutomationBackend& automation,
                           std::function<Destination()> destination, QObject* parent)
    : QObject(parent), driver_(driver), automation_(automation), destination_(std::move(destination))
{
}

void BrowserProbe::setState(const State& state)
{
    state_ = state;
    Q_EMIT stateChanged();
}

void BrowserProbe::run(Browser browser)
{
    if (busy()) return;
    check(browser); // runs on by itself; progress shows in `state`
}

QCoro::Task<void> BrowserProbe::check(Browser browser)
{
    // Views own their probe and may close while a check sleeps: after every
    // suspension nothing of `this` is touched unless it still exists.
    QPointer<BrowserProbe> self(this);
    const BrowserDriver driver = driver_;
    AutomationBackend& automation = automation_;
    const Destination destination = destination_ ? destination_() : Destination::claude();
    const QString name = Browsers::displayName(browser);

    try {
        if (!driver.apps.isRunning(browser)) {
            setState(State::launching());
            driver.apps.launchInBackground(browser, destination.newURL);
            for (int round = 0; round < launchRounds; ++round) {
                if (driver.apps.isRunning(browser)) continue;
                co_await driver.scheduler.sleep(launchPause);
                if (!self) co_return;
            }
            co_await driver.scheduler.sleep(settlePause);
            if (!self) co_return;
        }

        setState(State::checking());
        const AutomationAccess access = co_await Automation::access(automation, browser, false);
        if (!self) co_return;
        switch (access) {
        case AutomationAccess::granted:
            break;
        case AutomationAccess::denied:
            setState(State::denied());
            co_return;
        case AutomationAccess::notAsked: {
            setState(State::waitingForOK());
            const AutomationAccess asked = co_await Automation::access(automation, browser, true);
            if (!self) co_return;
            if (asked != AutomationAccess::granted) {
                setState(State::denied());
                co_return;
            }
            setState(State::checking());
            break;
        }
        case AutomationAccess::browserNotRunning:
            setState(State::failed(QStringLiteral("Open ") + name + QStringLiteral(", then check again.")));
            co_return;
        }

        const std::optional<QString> verdict = co_await BrowserTab::probe(driver, browser, destination.host);
        if (!self) co_return;
        if (!verdict)
            setState(State::ok());
        else if (*verdict == automationDenied)
            setState(State::denied());
        else
            setState(State::failed(*verdict));
    } catch (const std::exception& error) {
        // The platform's permission query failing is a state like any other.
        Log::write(QStringLiteral("probe ") + name + QStringLiteral(" failed: ") +
                   QString::fromUtf8(error.what()));
        if (self) setState(State::failed(QString::fromUtf8(error.what())));
    }
}
