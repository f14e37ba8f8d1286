#include "JxaHost.h"

#include "RunControl.h"
#include "TabDriver.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

JxaHost::JxaHost(TabDriver& driver, RunControl& control) : driver_(driver), control_(control) {}

void JxaHost::throwToScript(const QString& message)
{
    if (QJSEngine* engine = qjsEngine(this)) engine->throwError(QJSValue::GenericError, message);
}

template <class F> auto JxaHost::guarded(F&& work) -> decltype(work())
{
    using Result = decltype(work());
    if (fatal_) {
        throwToScript(*fatal_);
        return Result();
    }
    try {
        return work();
    } catch (const TabError& e) {
        throwToScript(e.message());
    } catch (const BrowserGone& e) {
        // The program may catch what it is thrown, but the run is over: remember
        // why and stop the engine.
        fatal_ = e.message();
        control_.end();
        throwToScript(*fatal_);
    }
    return Result();
}

QString JxaHost::windows()
{
    return guarded([this] {
        QJsonArray list;
        for (const WindowRecord& w : driver_.windows()) {
            QJsonArray tabs;
            for (const TabRecord& t : w.tabs)
                tabs << QJsonObject{{QStringLiteral("id"), t.id},
                                    {QStringLiteral("url"), t.url},
                                    {QStringLiteral("title"), t.title}};
            list << QJsonObject{{QStringLiteral("id"), w.id},
                                {QStringLiteral("active"), w.active},
                                {QStringLiteral("tabs"), tabs}};
        }
        return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
    });
}

QString JxaHost::evaluate(const QString& tabId, const QString& script)
{
    return guarded([&] {
        const std::optional<QJsonValue> value = driver_.evaluate(tabId, script);
        if (!value) return QString();
        return QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("v"), *value}}).toJson(QJsonDocument::Compact));
    });
}

void JxaHost::navigate(const QString& tabId, const QString& url)
{
    guarded([&] { driver_.navigate(tabId, url); });
}

void JxaHost::openTab(const QString& url)
{
    guarded([&] { driver_.openTab(url); });
}

void JxaHost::activate(const QString& tabId)
{
    guarded([&] { driver_.activate(tabId); });
}

void JxaHost::delay(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0) return;
    const auto duration =
        std::chrono::milliseconds(static_cast<long long>(std::min(seconds, 86400.0) * 1000.0));
    driver_.delay(duration);
    if (control_.ended()) throwToScript(QStringLiteral("the run was stopped"));
}
