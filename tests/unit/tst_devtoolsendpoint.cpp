// Reading DevToolsActivePort files.
#include "DevToolsEndpoint.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestDevToolsEndpoint : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("port"); // 0: not an endpoint
        QTest::addColumn<QString>("path");
        QTest::newRow("as written") << QByteArray("33453\n/devtools/browser/653dfd30") << 33453
                                    << "/devtools/browser/653dfd30";
        QTest::newRow("CRLF") << QByteArray("9222\r\n/devtools/browser/x\r\n") << 9222
                              << "/devtools/browser/x";
        QTest::newRow("port only, no break") << QByteArray("9222") << 0 << "";
        QTest::newRow("port too large") << QByteArray("70000\n/devtools/browser/x") << 0 << "";
        QTest::newRow("a page, not the browser") << QByteArray("9222\n/devtools/page/x") << 0 << "";
        QTest::newRow("query smuggled in") << QByteArray("9222\n/devtools/browser/x?y=1") << 0 << "";
    }
    void parse()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, port);
        QFETCH(QString, path);
        const auto endpoint = DevToolsEndpoints::parse(contents, QStringLiteral("/profile"));
        QCOMPARE(endpoint.has_value(), port != 0);
        if (!endpoint) return;
        QCOMPARE(int(endpoint->port), port);
        QCOMPARE(endpoint->path, path);
        QCOMPARE(endpoint->webSocketUrl().toString(),
                 QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path));
    }

    void findKeepsTheOrderOfTheDirs()
    {
        QTemporaryDir chrome, chromium, missing;
        QVERIFY(chrome.isValid() && chromium.isValid() && missing.isValid());
        auto write = [](const QTemporaryDir& dir, const QByteArray& contents) {
            QFile file(dir.filePath(QStringLiteral("DevToolsActivePort")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        };
        write(chrome, "1111\n/devtools/browser/a");
        write(chromium, "2222\n/devtools/browser/b");
        const auto found = DevToolsEndpoints::find({missing.path(), chromium.path(), chrome.path()});
        QCOMPARE(found.size(), 2);
        QCOMPARE(found.at(0).port, quint16(2222));
        QCOMPARE(found.at(0).userDataDir, chromium.path());
        QCOMPARE(found.at(1).port, quint16(1111));
        // A restarted browser is a different endpoint.
        QVERIFY(found.at(0).key() != found.at(1).key());
    }
};

QTEST_GUILESS_MAIN(TestDevToolsEndpoint)
#include "tst_devtoolsendpoint.moc"
