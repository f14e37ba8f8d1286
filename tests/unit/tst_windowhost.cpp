// The window host on the offscreen platform with a tiny view from a temporary folder.
#include "ScopedLog.h"
#include "WindowHost.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

class TestWindowHost : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QUrl view_;
    std::unique_ptr<QQmlEngine> engine_;

    QUrl write(const QString& name, const QByteArray& text)
    {
        QFile file(dir_.filePath(name));
        if (!file.open(QIODevice::WriteOnly)) return {};
        file.write(text);
        return QUrl::fromLocalFile(file.fileName());
    }

    static QQuickItem* content(QQuickWindow* window)
    {
        const QList<QQuickItem*> items = window->contentItem()->childItems();
        return items.size() == 1 ? items.first() : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        view_ = write(QStringLiteral("View.qml"),
                      "import QtQuick\nRectangle { property string label: \"none\" }\n");
    }
    void init() { engine_ = std::make_unique<QQmlEngine>(); }
    void cleanup() { engine_.reset(); }

    void oneWindowWhileOpenSizedOnlyAtCreation()
    {
        WindowHost host(*engine_);
        host.show(QStringLiteral("Welcome to Vell"), QSize(320, 240), true, view_, {{"label", "first"}});
        QPointer<QQuickWindow> window = host.window();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->title(), QStringLiteral("Welcome to Vell"));
        QCOMPARE(window->size(), QSize(320, 240));
        QVERIFY((window->geometry().center() - window->screen()->availableGeometry().center())
                    .manhattanLength() <= 2);
        QPointer<QQuickItem> first = content(window);
        QVERIFY(first);
        QCOMPARE(first->property("label").toString(), QStringLiteral("first"));
        QTRY_COMPARE(first->size(), QSizeF(320, 240));

        host.show(QStringLiteral("Vell Settings"), QSize(500, 400), true, view_, {{"label", "second"}});
        QCOMPARE(host.window(), window.data());
        QCOMPARE(window->size(), QSize(320, 240));
        QCOMPARE(window->title(), QStringLiteral("Vell Settings"));
        QQuickItem* second = content(window);
        QVERIFY(second && second != first.data());
        QCOMPARE(second->property("label").toString(), QStringLiteral("second"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
    }

    // Closed by the user, then by the host: each time the window is forgotten before
    // onClose, and the next show builds a new one at the size it asks for.
    void closingForgetsTheWindowBeforeOnClose()
    {
        WindowHost host(*engine_);
        int closes = 0;
        host.onClose = [&] {
            ++closes;
            QVERIFY(!host.window());
        };
        for (const bool byUser : {true, false}) {
            const QSize size(300 + 60 * closes, 200);
            host.show(QStringLiteral("Vell Settings"), size, true, view_);
            QPointer<QQuickWindow> old = host.window();
            QVERIFY(old && content(old));
            QCOMPARE(old->size(), size);
            if (byUser) {
                QCloseEvent event;
                QCoreApplication::sendEvent(old, &event);
            } else {
                host.close();
            }
            host.close(); // nothing open: no second onClose
            QCOMPARE(closes, byUser ? 1 : 2);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(old.isNull());
        }
    }

    void brokenViewIsLoggedAndTheWindowStillShows()
    {
        ScopedLog log;
        WindowHost host(*engine_);
        host.show(QStringLiteral("Vell"), QSize(200, 100), false, view_);
        host.show(QStringLiteral("Vell"), QSize(200, 100), false,
                  write(QStringLiteral("Broken.qml"), "import QtQuick\nRectangle { nosuch: 1 }\n"));
        QVERIFY(host.window() && host.window()->isVisible());
        QVERIFY(!content(host.window())); // the previous view is gone, not left standing
        QCOMPARE(log.messagesStartingWith(QStringLiteral("window: cannot show ")).size(), 1);
    }
};

QTEST_MAIN(TestWindowHost)
#include "tst_windowhost.moc"
