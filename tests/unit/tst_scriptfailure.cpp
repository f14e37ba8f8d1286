// Which delivery error a failed program run becomes.
#include "ScriptFailure.h"

#include <QtTest>

class TestScriptFailure : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void classify_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Apple Events setting")
            << "Error: Executing JavaScript through AppleScript is turned off. "
               "Allow JavaScript from Apple Events"
            << "jsOff(chrome)";
        QTest::newRow("not permitted")
            << "execution error: Not authorized to send Apple events to Google Chrome. (-1743)"
            << "automationDenied(chrome)";
        QTest::newRow("nothing to reach") << "no browser with remote debugging is reachable"
                                          << "automationDenied(chrome)";
        QTest::newRow("apple event timed out") << "execution error: AppleEvent timed out. (-1712)"
                                               << "timedOut(chrome)";
        QTest::newRow("denial wins over a time-out") << "(-1712) then (-1743)"
                                                     << "automationDenied(chrome)";
        QTest::newRow("setting wins over a denial") << "(-1743) Allow JavaScript from Apple Events"
                                                    << "jsOff(chrome)";
        QTest::newRow("unknown text: its last 120 characters")
            << QString(180, u'a') + QString(120, u'b') << "page(\"" + QString(120, u'b') + "\")";
        QTest::newRow("unknown text stays whole") << "TypeError: x is undefined (line 3)"
                                                  << "page(\"TypeError: x is undefined (line 3)\")";
    }
    void classify()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ScriptFailure::classify(text, Browser::chrome).rendered(), expected);
    }

    void browserIsCarried()
    {
        QCOMPARE(ScriptFailure::classify(QStringLiteral("-1743"), Browser::safari),
                 DeliveryError::automationDenied(Browser::safari));
    }
};

QTEST_GUILESS_MAIN(TestScriptFailure)
#include "tst_scriptfailure.moc"
