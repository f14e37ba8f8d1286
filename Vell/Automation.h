// Whether Vell may drive the browser, and the check behind the "check"
// button of onboarding and settings: start the browser, get the permission,
// run one line of JavaScript in the assistant's page.
#pragma once

#include "AutomationAccess.h"
#include "BrowserPlatform.h"
#include "BrowserTab.h"
#include "SessionModel.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

#include <functional>

namespace Automation {

// The platform's answer, logged as "automation <browser>: <answer>". With ask
// false the user is never asked and an undecided permission gives notAsked.
QCoro::Task<AutomationAccess> access(AutomationBackend& backend, Browser browser, bool ask);
// Forgets an earlier refusal so that the next access with ask asks again.
void resetAnswer(AutomationBackend& backend);
// What the user reads when the browser does not let Vell run JavaScript in its pages.
QString settingOffMessage(Browser browser);

} // namespace Automation

// The observable check of one view. Every assignment of `state` notifies.
class BrowserProbe : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString state READ stateName NOTIFY stateChanged FINAL)
    Q_PROPERTY(QString message READ message NOTIFY stateChanged FINAL)
    Q_PROPERTY(bool busy READ busy NOTIFY stateChanged FINAL)
public:
    struct State {
        enum class Kind { failed, untested, launching, checking, waitingForOK, ok, denied };
        Kind kind = Kind::untested;
        QString message; // only for `failed`

        static State failed(const QString& message) { return {Kind::failed, message}; }
        static State untested() { return {Kind::untested, {}}; }
        static State launching() { return {Kind::launching, {}}; }
        static State checking() { return {Kind::checking, {}}; }
        static State waitingForOK() { return {Kind::waitingForOK, {}}; }
        static State ok() { return {Kind::ok, {}}; }
        static State denied() { return {Kind::denied, {}}; }

        bool busy() const
        {
            return kind == Kind::launching || kind == Kind::checking || kind == Kind::waitingForOK;
        }
        // Case name only.
        QString name() const;
        // Case name, or failed("message").
        QString rendered() const;
        bool operator==(const State& other) const
        {
            return kind == other.kind && (kind != Kind::failed || message == other.message);
        }
    };

    // `destination` gives the destination chosen now (its host and new-chat page).
    BrowserProbe(BrowserDriver driver, AutomationBackend& automation,
                 std::function<Destination()> destination, QObject* parent = nullptr);

    const State& state() const { return state_; }
    // Views set untested when the chosen browser changes.
    void setState(const State& state);
    bool busy() const { return state_.busy(); }
    QString stateName() const { return state_.name(); }
    QString message() const { return state_.message; }

    // Starts a check and returns at once; ignored while a check is running.
    // The check stops quietly if the probe is destroyed before it ends.
    void run(Browser browser);

Q_SIGNALS:
    void stateChanged();

private:
    QCoro::Task<void> check(Browser browser);

    BrowserDriver driver_;
    AutomationBackend& automation_;
    std::function<Destination()> destination_;
    State state_;
};
