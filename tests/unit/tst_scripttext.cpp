// Program text on its way in and failure text on its way out of a run.
#include "ProgramText.h"
#include "ScriptFailure.h"

#include <QJSEngine>
#include <QtTest>

namespace {

const QString LS = QString(QChar(0x2028));
const QString PS = QString(QChar(0x2029));

} // namespace

class TestScriptText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Qt's script engine rejects raw line and paragraph separators inside string
    // literals, so they are rewritten without changing what the program means.
    void separatorsKeepTheMeaning_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("value"); // what the program evaluates to
        QTest::newRow("double quotes") << "\"a" + LS + "b" + PS + "\""
                                       << "a" + LS + "b" + PS;
        QTest::newRow("template literal") << "`a" + LS + "b`"
                                          << "a" + LS + "b";
        QTest::newRow("string inside a substitution") << "`x${'" + LS + "' + `" + PS + "`}y`"
                                                      << "x" + LS + PS + "y";
        QTest::newRow("escaped quote does not end the string") << "\"q\\\"" + LS + "\""
                                                               << "q\"" + LS;
        QTest::newRow("escaped separator continues the line") << "\"a\\" + LS + "b\""
                                                              << "ab";
        QTest::newRow("line comment ends at the separator") << "// note" + LS + "'after'"
                                                            << "after";
        QTest::newRow("quote inside a regular expression") << "/[\"']/.test(\"'\") ? 'a" + LS + "b' : 'no'"
                                                           << "a" + LS + "b";
        QTest::newRow("division is not a regular expression")
            << "var a = 4 / 2; var s = '" + LS + "'; s + a" << LS + "2";
        QTest::newRow("regular expression after return")
            << "(function () { return /'/.test(\"'\") ? '" + PS + "' : 'no' })()" << PS;
    }
    void separatorsKeepTheMeaning()
    {
        QFETCH(QString, program);
        QFETCH(QString, value);
        QJSEngine engine;
        const QJSValue result = engine.evaluate(ProgramText::escapeLineSeparators(program));
        QVERIFY2(!result.isError(), qPrintable(result.toString()));
        QCOMPARE(result.toString(), value);
    }

    void textWithoutSeparatorsIsUntouched()
    {
        const QString program = QStringLiteral("function run() {\n  return '\\u2028' + \"x\" // y\n}");
        QCOMPARE(ProgramText::escapeLineSeparators(program), program);
    }

    void failureClassification_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Browser>("browser");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Apple Events setting")
            << "Error: Executing JavaScript through AppleScript is turned off. "
               "Allow JavaScript from Apple Events"
            << Browser::chrome << "jsOff(chrome)";
        QTest::newRow("not permitted, browser carried")
            << "execution error: Not authorized to send Apple events to Safari. (-1743)" << Browser::safari
            << "automationDenied(safari)";
        QTest::newRow("nothing to reach") << "no browser with remote debugging is reachable"
                                          << Browser::chrome << "automationDenied(chrome)";
        QTest::newRow("apple event timed out")
            << "execution error: AppleEvent timed out. (-1712)" << Browser::chrome << "timedOut(chrome)";
        QTest::newRow("denial wins over a time-out")
            << "(-1712) then (-1743)" << Browser::chrome << "automationDenied(chrome)";
        QTest::newRow("setting wins over a denial")
            << "(-1743) Allow JavaScript from Apple Events" << Browser::chrome << "jsOff(chrome)";
        QTest::newRow("unknown text: its last 120 characters")
            << QString(180, u'a') + QString(120, u'b') << Browser::chrome
            << "page(\"" + QString(120, u'b') + "\")";
        QTest::newRow("unknown text stays whole") << "TypeError: x is undefined (line 3)" << Browser::chrome
                                                  << "page(\"TypeError: x is undefined (line 3)\")";
    }
    void failureClassification()
    {
        QFETCH(QString, text);
        QFETCH(Browser, browser);
        QFETCH(QString, expected);
        QCOMPARE(ScriptFailure::classify(text, browser).rendered(), expected);
    }
};

QTEST_GUILESS_MAIN(TestScriptText)
#include "tst_scripttext.moc"
