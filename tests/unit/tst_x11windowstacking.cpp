// Matching the browser's windows to the X server's stacking order.
#include "X11WindowStacking.h"

#include <QtTest>

using XWindow = X11WindowStacking::XWindow;

class TestX11WindowStacking : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void match_data()
    {
        QTest::addColumn<QList<XWindow>>("stack"); // bottom to top
        QTest::addColumn<QList<BrowserWindowInfo>>("windows");
        QTest::addColumn<QList<qint64>>("expected"); // empty: cannot tell
        const QString chromium = QStringLiteral("chromium Chromium");
        const QRect a(10, 10, 1050, 980), b(20, 20, 1050, 980), full(0, 0, 1600, 1000);
        QTest::newRow("top of the stack is the front")
            << QList{XWindow{a, "one - Chromium", chromium}, XWindow{b, "two - Chromium", chromium}}
            << QList{BrowserWindowInfo{1, a, "one"}, BrowserWindowInfo{2, b, "two"}} << QList<qint64>{2, 1};
        QTest::newRow("same bounds: the title decides")
            << QList{XWindow{full, "Budget - Chromium", chromium}, XWindow{full, "Mail - Chromium", chromium}}
            << QList{BrowserWindowInfo{1, full, "Mail"}, BrowserWindowInfo{2, full, "Budget"}}
            << QList<qint64>{1, 2};
        QTest::newRow("other programs' windows on top do not count")
            << QList{XWindow{a, "one - Chromium", chromium}, XWindow{b, "two - Chromium", chromium},
                     XWindow{a, "terminal", "xterm XTerm"}}
            << QList{BrowserWindowInfo{1, a, "one"}, BrowserWindowInfo{2, b, "two"}} << QList<qint64>{2, 1};
        QTest::newRow("a frame drawn by the window manager")
            << QList{XWindow{QRect(21, 44, 1048, 956), "two - Google Chrome", "google-chrome Google-chrome"},
                     XWindow{QRect(11, 34, 1048, 956), "one - Google Chrome", "google-chrome Google-chrome"}}
            << QList{BrowserWindowInfo{1, a, "one"}, BrowserWindowInfo{2, b, "two"}} << QList<qint64>{1, 2};
        QTest::newRow("a window the server does not list is left out")
            << QList{XWindow{a, "one - Chromium", chromium}}
            << QList{BrowserWindowInfo{1, a, "one"}, BrowserWindowInfo{2, full, "two"}} << QList<qint64>{1};
        QTest::newRow("nothing matches") << QList{XWindow{full, "terminal", "xterm XTerm"}}
                                         << QList{BrowserWindowInfo{1, a, "one"}} << QList<qint64>{};
    }
    void match()
    {
        QFETCH(QList<XWindow>, stack);
        QFETCH(QList<BrowserWindowInfo>, windows);
        QFETCH(QList<qint64>, expected);
        const auto order = X11WindowStacking::match(stack, windows);
        QCOMPARE(order.has_value(), !expected.isEmpty());
        if (order) QCOMPARE(*order, expected);
    }

    void noDisplayCannotTell()
    {
        X11WindowStacking stacking(":65535");
        QVERIFY(!stacking.frontToBack({BrowserWindowInfo{1, QRect(0, 0, 10, 10), "x"}}).has_value());
    }
};

QTEST_GUILESS_MAIN(TestX11WindowStacking)
#include "tst_x11windowstacking.moc"
