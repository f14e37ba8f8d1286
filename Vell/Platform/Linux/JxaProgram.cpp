#include "JxaProgram.h"

#include "JxaHost.h"
#include "JxaPrelude.h"
#include "ProgramText.h"
#include "RunControl.h"

#include <QJSEngine>
#include <QRegularExpression>

namespace {

// The error and the program line it came from. Errors the object model
// throws are made in the prelude, so the line is the program's innermost
// frame on the stack, not where the Error object was made.
QString describe(const QJSValue& thrown)
{
    if (!thrown.isError()) return thrown.toString();
    QString text = thrown.toString();
    static const QRegularExpression programFrame(QStringLiteral("program:(\\d+)"));
    const QRegularExpressionMatch frame =
        programFrame.match(thrown.property(QStringLiteral("stack")).toString());
    int line = frame.hasMatch() ? frame.captured(1).toInt() : 0;
    if (line == 0 &&
        thrown.property(QStringLiteral("fileName")).toString().endsWith(QLatin1String("program")))
        line = thrown.property(QStringLiteral("lineNumber")).toInt();
    if (line > 0) text += QStringLiteral(" (line %1)").arg(line);
    return text;
}

JxaOutcome execute(QJSEngine& engine, JxaHost& host, const QString& program)
{
    engine.globalObject().setProperty(QStringLiteral("__host"), engine.newQObject(&host));
    QStringList trace;
    const QJSValue prelude = engine.evaluate(JxaPrelude::text(), QStringLiteral("prelude"), 1, &trace);
    if (!trace.isEmpty() || prelude.isError())
        return {{}, QStringLiteral("the object model did not load: ") + describe(prelude)};
    engine.globalObject().deleteProperty(QStringLiteral("__host"));

    const QJSValue loaded =
        engine.evaluate(ProgramText::escapeLineSeparators(program), QStringLiteral("program"), 1, &trace);
    if (!trace.isEmpty() || loaded.isError()) return {{}, describe(loaded)};

    // Calling through a script keeps what run() throws apart from what it returns.
    const QJSValue answer = engine.evaluate(
        QStringLiteral(
            "(function () { if (typeof run !== 'function') return [false, 'Error: the program has no run()'];"
            " try { return [true, run()]; } catch (e) { return [false, e]; } })()"),
        QStringLiteral("host"), 1, &trace);
    if (!trace.isEmpty() || answer.isError() || !answer.isArray()) return {{}, describe(answer)};
    const QJSValue value = answer.property(1);
    if (!answer.property(0).toBool()) return {{}, describe(value)};
    if (value.isUndefined() || value.isNull()) return {};
    return {value.toString().trimmed(), std::nullopt};
}

} // namespace

JxaOutcome runJxaProgram(const QString& program, TabDriver& driver, RunControl& control)
{
    QJSEngine engine;
    JxaHost host(driver, control);
    QJSEngine::setObjectOwnership(&host, QJSEngine::CppOwnership);
    control.setEndHook([&engine] { engine.setInterrupted(true); });
    JxaOutcome outcome = execute(engine, host, program);
    // The engine goes away with this frame; nothing may interrupt it after.
    control.setEndHook({});
    if (host.fatal()) outcome = {{}, host.fatal()};
    return outcome;
}
