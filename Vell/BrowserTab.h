// The assistant's tab in a browser, and the programs that find, open, move
// and read it. Every program is text handed to a ScriptRunner; every value
// in it is a JSON string literal, so no value can break out of the program.
#pragma once

#include "BrowserPlatform.h"
#include "Scheduler.h"
#include "ScriptRunner.h"
#include "SessionModel.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// What the browser operations drive: the program runner, the browser
// processes and the clock. All three outlive every operation.
struct BrowserDriver {
    ScriptRunner& runner;
    BrowserApps& apps;
    Scheduler& scheduler;
};

// A constant a program declares besides app, HOST and PREFER. The name is a
// plain identifier written into the program as it stands.
struct ScriptConstant {
    QString name;
    QString value;
};
using ScriptConstants = QList<ScriptConstant>;

class BrowserTab {
public:
    BrowserTab(const BrowserDriver& driver, Browser browser, QString host, QString prefer = {});

    Browser browser() const { return browser_; }
    // A tab belongs to the assistant when its URL contains this.
    const QString& host() const { return host_; }
    // The chat URL to use if it is open, or empty.
    const QString& prefer() const { return prefer_; }
    void setPrefer(const QString& prefer) { prefer_ = prefer; }

    // Per-browser words of the programs.
    static QString applicationName(Browser browser); // "Google Chrome", "Safari"
    static QString tabAccessor(Browser browser);     // activeTab, currentTab
    static QString titleExpression(Browser browser); // t.title(), t.name()
    static QString pageCall(Browser browser);        // runs CODE in tab t

    // `value` as a JSON string literal. Beyond what JSON requires, U+2028,
    // U+2029, "<", ">" and unpaired surrogates are written as \u escapes, so the
    // literal means the same string to any JavaScript parser, inside HTML too.
    static QString lit(const QString& value);
    // "function run() {", the header, one line per constant, the body, "}".
    QString program(const QString& body, const ScriptConstants& extra = {}) const;
    // pick() and pickSlow(), ending with a line break.
    QString pickJS() const;
    // Consecutive pieces of `size` UTF-16 units; none for the empty string.
    static QStringList chunked(const QString& text, qsizetype size);

    // Every operation below keeps its own copy of the tab, so the tab may go
    // away while the returned task is still running.

    // Runs body (with the extra constants) and returns the trimmed output.
    QCoro::Task<QString> run(const QString& body, const ScriptConstants& extra,
                             std::chrono::milliseconds timeout) const;
    // Runs a page script in the tab pick() finds and returns its value as
    // text, or "err:tab closed" when there is no such tab. 30 s limit.
    QCoro::Task<QString> js(const QString& pageScript) const;
    // Makes sure an assistant tab exists, at the target's chat if one is given,
    // starting the browser in the background when needed.
    QCoro::Task<void> ensure(const QString& newURL, const std::optional<ChatTarget>& target) const;
    // Points the tab pick() finds at `url`; nothing happens without one.
    QCoro::Task<void> navigate(const QString& url) const;
    // Open assistant tabs and the page's recent chats; empty on any failure.
    QCoro::Task<ChatList> listChats(const QString& chatPath) const;

    // Runs 1+1 in the assistant's page. None when the page answered; otherwise
    // the sentence for the user, or "automation-denied". (Automation.cpp)
    static QCoro::Task<std::optional<QString>> probe(BrowserDriver driver, Browser browser, QString host);

    // Program bodies, exposed for the tests that run them against a model browser.
    QString ensureBody() const;
    QString readyBody() const;
    QString navigateBody() const;
    QString listBody() const;
    QString jsBody() const;
    QString probeBody() const; // (Automation.cpp)
    // The sidebar page script of listChats, with PATH replaced by chatPath.
    static QString chatLinksScript(const QString& chatPath);

private:
    static QCoro::Task<QString> runIn(BrowserTab tab, QString body, ScriptConstants extra,
                                      std::chrono::milliseconds timeout);
    static QCoro::Task<void> navigateIn(BrowserTab tab, QString url);
    static QCoro::Task<void> ensureIn(BrowserTab tab, QString newURL, std::optional<ChatTarget> target);
    static QCoro::Task<ChatList> listIn(BrowserTab tab, QString chatPath);

    BrowserDriver driver_;
    Browser browser_;
    QString host_;
    QString prefer_;
};
