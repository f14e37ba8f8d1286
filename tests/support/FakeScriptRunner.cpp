#include "FakeScriptRunner.h"

#include <QJsonArray>
#include <QJsonDocument>

QCoro::Task<QString> FakeScriptRunner::run(const QString& program, Browser browser,
                                           std::chrono::milliseconds timeout)
{
    // Everything the run needs is taken before the first suspension.
    const Call call{program, browser, timeout, scheduler_.now()};
    calls << call;
    const auto answerNow = answer;
    if (delay.count() > 0) co_await scheduler_.sleep(delay);
    co_return answerNow ? answerNow(call) : QString();
}

std::optional<QString> FakeScriptRunner::constant(const QString& program, const QString& name)
{
    const QString prefix = QStringLiteral("const ") + name + QStringLiteral(" = ");
    for (const QStringView line : QStringView(program).split(QLatin1Char('\n'))) {
        if (!line.startsWith(prefix) || !line.endsWith(QLatin1Char(';'))) continue;
        const QStringView literal = line.mid(prefix.size(), line.size() - prefix.size() - 1);
        const QJsonDocument doc =
            QJsonDocument::fromJson((QLatin1Char('[') + literal.toString() + QLatin1Char(']')).toUtf8());
        if (doc.isArray() && doc.array().size() == 1 && doc.array().at(0).isString())
            return doc.array().at(0).toString();
    }
    return std::nullopt;
}

QString FakeScriptRunner::pageScript(const QString& program)
{
    return constant(program, QStringLiteral("CODE")).value_or(QString());
}
