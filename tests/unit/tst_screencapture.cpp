// Which window a screenshot takes, what it refuses to take, and the size of the picture.
#include "FakeSoundPlayer.h"
#include "FakeWindowSystem.h"
#include "ScopedLog.h"
#include "ScreenCapture.h"

#include <QCoro/QCoroTask>
#include <QTest>

#include <functional>

namespace {

constexpr qint64 editorPid = 4242;

QImage filled(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 30));
    return image;
}

using Mutation = std::function<void(WindowInfo&, FakeWindowSystem&)>;

} // namespace

Q_DECLARE_METATYPE(Mutation)

class TestScreenCapture : public QObject {
    Q_OBJECT

    FakeWindowSystem system;
    FakeSoundPlayer player;
    Shutter shutter{player, [] { return true; }};

    static std::optional<Item> shoot(ScreenCapture& capture) { return QCoro::waitFor(capture.frontWindow()); }

private Q_SLOTS:
    void init()
    {
        system = FakeWindowSystem();
        system.front =
            FrontApp{editorPid, QStringLiteral("Editor"), QStringLiteral("Editor"), QStringLiteral("editor")};
    }

    void candidateFilter_data()
    {
        QTest::addColumn<Mutation>("mutate");
        QTest::addColumn<bool>("chosen");
        // The mutation comes last so each row reads as one line.
        const auto row = [](const char* name, bool chosen, Mutation m) {
            QTest::newRow(name) << m << chosen;
        };
        using W = WindowInfo;
        using S = FakeWindowSystem;
        row("80 points tall", false, [](W& w, S&) { w.bounds->setHeight(80); });
        row("another application's", false, [](W& w, S&) { w.ownerPid = editorPid + 1; });
        row("5 points wider than the screen", false, [](W& w, S&) { w.bounds->setWidth(1925); });
        row("fits the second screen", true, [](W& w, S& s) {
            w.bounds->setWidth(2500);
            s.screenFrames << QRectF(1920, 0, 2560, 1440);
        });
    }

    void candidateFilter()
    {
        QFETCH(Mutation, mutate);
        QFETCH(bool, chosen);
        ScopedLog log;
        WindowInfo w =
            FakeWindowSystem::window(7, editorPid, QRectF(10, 20, 1000, 700), QStringLiteral("notes.txt"));
        mutate(w, system);
        system.windows = {w};
        ScreenCapture capture(system, shutter);

        const std::optional<ScreenCapture::Source> source = capture.frontSource();
        QVERIFY(source);
        QCOMPARE(source->app, QStringLiteral("Editor"));
        if (chosen) {
            QCOMPARE(source->windowID, std::optional<quint32>(7));
        } else {
            QVERIFY(!source->windowID);
            QVERIFY(!shoot(capture));
            QVERIFY(system.grabbed.isEmpty());
        }
    }

    // The focused frame 5 points off a window behind the front one on every edge picks that window.
    void focusedFrameChoosesAmongCandidates()
    {
        const QRectF back(100, 100, 700, 500);
        system.windows = {
            FakeWindowSystem::window(1, editorPid, QRectF(0, 0, 800, 600), QStringLiteral("front")),
            // Another application's window in between matches the focus exactly.
            FakeWindowSystem::window(9, editorPid + 1, back, QStringLiteral("other")),
            FakeWindowSystem::window(2, editorPid, back, QStringLiteral("back"))};
        system.focused = QRectF(105, 95, 705, 495);
        ScreenCapture capture(system, shutter);
        QCOMPARE(capture.frontSource().value_or(ScreenCapture::Source{}).windowID, std::optional<quint32>(2));
    }

    void passwordManagersAreNeverCaptured_data()
    {
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<bool>("excluded");
        QTest::newRow("KeePassXC class") << "KeePassXC"
                                         << "keepassxc" << true;
        QTest::newRow("only the instance names it") << "Electron"
                                                    << "bitwarden" << true;
        QTest::newRow("a word that merely contains a name") << "KeePassXCFan"
                                                            << "keepassxcfan" << false;
    }

    void passwordManagersAreNeverCaptured()
    {
        QFETCH(QString, bundleID);
        QFETCH(QString, instance);
        QFETCH(bool, excluded);
        ScopedLog log;
        system.front = FrontApp{editorPid, QStringLiteral("Vault"), bundleID, instance};
        system.windows = {FakeWindowSystem::window(5, editorPid, QRectF(0, 0, 600, 400))};
        system.grabs.insert(5, WindowGrab::ok(filled(600, 400)));
        ScreenCapture capture(system, shutter);

        QCOMPARE(!capture.frontSource().has_value(), excluded);
        QCOMPARE(!shoot(capture).has_value(), excluded);
        if (excluded) {
            QVERIFY(system.grabbed.isEmpty());
            QVERIFY(log.messages().isEmpty());
        }
    }

    void pictureIsBoundedAndEncoded_data()
    {
        QTest::addColumn<QSize>("grabbed");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("900 x 2000 reduced") << QSize(900, 2000) << QSize(675, 1500);
        // A truncated side of zero would make the whole capture fail.
        QTest::newRow("sliver keeps one pixel") << QSize(1, 3100) << QSize(1, 1500);
    }

    void pictureIsBoundedAndEncoded()
    {
        QFETCH(QSize, grabbed);
        QFETCH(QSize, expected);
        ScopedLog log;
        system.screenFrames = {QRectF(0, 0, 4000, 4000)};
        system.windows = {
            FakeWindowSystem::window(7, editorPid, QRectF(0, 0, 1200, 823), QStringLiteral("Doc"))};
        system.grabs.insert(7, WindowGrab::ok(filled(grabbed.width(), grabbed.height())));
        ScreenCapture capture(system, shutter);

        const std::optional<Item> item = shoot(capture);
        QVERIFY(item);
        QCOMPARE(item->image.size(), expected);
        QCOMPARE(QImage::fromData(item->jpeg, "JPEG").size(), expected);
        QCOMPARE(item->title, QStringLiteral("Doc"));
    }

    void aNullPictureIsNoScreenshot()
    {
        ScopedLog log;
        system.windows = {FakeWindowSystem::window(7, editorPid, QRectF(0, 0, 800, 600))};
        system.grabs.insert(7, WindowGrab::ok(QImage()));
        ScreenCapture capture(system, shutter);
        QVERIFY(!shoot(capture));
        QCOMPARE(system.grabbed, QList<quint32>{7});
    }
};

QTEST_GUILESS_MAIN(TestScreenCapture)
#include "tst_screencapture.moc"
