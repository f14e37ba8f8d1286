// Line and paragraph separators in program text: Qt's script engine rejects
// them raw inside string literals, so they are rewritten without changing
// what the program means.
#include "ProgramText.h"

#include <QJSEngine>
#include <QtTest>

namespace {

const QString LS = QString(QChar(0x2028));
const QString PS = QString(QChar(0x2029));

} // namespace

class TestProgramText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void meaningIsKept_data()
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
    void meaningIsKept()
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
};

QTEST_GUILESS_MAIN(TestProgramText)
#include "tst_programtext.moc"
