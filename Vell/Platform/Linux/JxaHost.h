// The native side of the scripting object model (see JxaPrelude): the few
// operations the JavaScript side needs, on a TabDriver, for one run. Lives and
// is called on the run's worker thread.
#pragma once

#include <QObject>
#include <QString>

#include <optional>

class RunControl;
class TabDriver;

class JxaHost : public QObject {
    Q_OBJECT
public:
    JxaHost(TabDriver& driver, RunControl& control);

    // Windows front to back: [{id, active, tabs: [{id, url, title}]}], as JSON.
    Q_INVOKABLE QString windows();
    // {"v": value} as JSON, or "" when the page gave no value.
    Q_INVOKABLE QString evaluate(const QString& tabId, const QString& script);
    Q_INVOKABLE void navigate(const QString& tabId, const QString& url);
    Q_INVOKABLE void openTab(const QString& url);
    Q_INVOKABLE void activate(const QString& tabId);
    Q_INVOKABLE void delay(double seconds);

    // The failure that ended the run, whatever the program did about it.
    std::optional<QString> fatal() const { return fatal_; }

private:
    template <class F> auto guarded(F&& work) -> decltype(work());
    void throwToScript(const QString& message);

    TabDriver& driver_;
    RunControl& control_;
    std::optional<QString> fatal_;
};
