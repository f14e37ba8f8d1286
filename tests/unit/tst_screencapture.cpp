// Which window a screenshot takes, what it refuses to take, and the size and
// encoding of the picture.
#include "FakeSoundPlayer.h"
#include "FakeWindowSystem.h"
#include "ScopedLog.h"
#include "ScreenCapture.h"

#include <QCoro/QCoroTask>
#include <QTest>

#include <functional>

namespace {

constexpr qint64 editorPid = 4242;

FrontApp editor()
{
    return FrontApp{editorPid, QStringLiteral("Editor"), QStringLiteral("Editor"), QStringLiteral("editor")};
}

QImage filled(int w, int h, QColor color = QColor(40, 120, 200))
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

using Mutation = std::function<void(WindowInfo&, FakeWindowSystem&)>;

} // namespace

Q_DECLARE_METATYPE(Mutation)
Q_DECLARE_METATYPE(WindowGrab)

class TestScreenCapture : public QObject {
    Q_OBJECT

    FakeWindowSystem system;
    FakeSoundPlayer player;
    bool shutterOn = true;
    Shutter shutter{player, [this] { return shutterOn; }};

    static std::optional<Item> shoot(ScreenCapture& capture) { return QCoro::waitFor(capture.frontWindow()); }

private Q_SLOTS:
    void init()
    {
        system = FakeWindowSystem();
        system.front = editor();
        player.played.clear();
        shutterOn = true;
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
        row("floating layer", false, [](W& w, S&) { w.layer = 3; });
        row("no layer", false, [](W& w, S&) { w.layer.reset(); });
        row("alpha 0.01", false, [](W& w, S&) { w.alpha = 0.01; });
        row("5 points wider than the screen", false, [](W& w, S&) { w.bounds->setWidth(1925); });
        row("fits the second screen", true, [](W& w, S& s) {
            w.bounds->setWidth(2500);
            s.screenFrames << QRectF(1920, 0, 2560, 1440);
        });
        row("no screens", false, [](W&, S& s) { s.screenFrames.clear(); });
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
            QCOMPARE(source->title, QStringLiteral("notes.txt"));
            QVERIFY(log.messages().isEmpty());
        } else {
            QVERIFY(!source->windowID);
            QVERIFY(source->title.isEmpty());
            QCOMPARE(log.messages(), QStringList{QStringLiteral(
                                         "capture: no usable window for Editor; focused=none candidates=0")});
            QVERIFY(!shoot(capture));
            QVERIFY(system.grabbed.isEmpty());
        }
    }

    void focusedFrameChoosesAmongCandidates_data()
    {
        QTest::addColumn<QRectF>("back");
        QTest::addColumn<std::optional<QRectF>>("focused");
        QTest::addColumn<QString>("expected");
        // The front window is at (0, 0, 800, 600); "back" is behind it.
        const QRectF back(100, 100, 700, 500);
        QTest::newRow("5 points off the background window on every edge")
            << back << std::optional<QRectF>(QRectF(105, 95, 705, 495)) << "back";
        QTest::newRow("6 points off on one edge falls back to the front window")
            << back << std::optional<QRectF>(QRectF(106, 100, 700, 500)) << "front";
        QTest::newRow("no focused frame") << back << std::optional<QRectF>() << "front";
        QTest::newRow("near both, the front one wins")
            << QRectF(5, 5, 800, 600) << std::optional<QRectF>(QRectF(0, 0, 800, 600)) << "front";
    }

    void focusedFrameChoosesAmongCandidates()
    {
        QFETCH(QRectF, back);
        QFETCH(std::optional<QRectF>, focused);
        QFETCH(QString, expected);
        system.windows = {
            FakeWindowSystem::window(1, editorPid, QRectF(0, 0, 800, 600), QStringLiteral("front")),
            // Another application's window in between matches the focus exactly.
            FakeWindowSystem::window(9, editorPid + 1, back, QStringLiteral("other")),
            FakeWindowSystem::window(2, editorPid, back, QStringLiteral("back"))};
        system.focused = focused;
        ScreenCapture capture(system, shutter);
        const auto source = capture.frontSource();
        QVERIFY(source);
        QCOMPARE(source->title, expected);
        QCOMPARE(source->windowID, std::optional<quint32>(expected == QLatin1String("front") ? 1 : 2));
    }

    void passwordManagersAreNeverCaptured_data()
    {
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<bool>("excluded");
        // clang-format off
        QTest::newRow("1Password bundle") << "com.1password.1password" << "" << true;
        QTest::newRow("KeePassXC class") << "KeePassXC" << "keepassxc" << true;
        QTest::newRow("only the instance names it") << "Electron" << "bitwarden" << true;
        QTest::newRow("a word that merely contains a name") << "KeePassXCFan" << "keepassxcfan" << false;
        // clang-format on
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
        system.grabs.insert(7,
                            WindowGrab::ok(filled(grabbed.width(), grabbed.height(), QColor(200, 30, 30))));
        ScreenCapture capture(system, shutter);

        const std::optional<Item> item = shoot(capture);
        QVERIFY(item);
        QVERIFY(item->isShot());
        QCOMPARE(item->image.size(), expected);
        QImage decoded;
        QVERIFY(decoded.loadFromData(item->jpeg, "JPEG"));
        QCOMPARE(decoded.size(), expected);
        const QColor centre = decoded.pixelColor(expected.width() / 2, expected.height() / 2);
        QVERIFY2(qAbs(centre.red() - 200) < 8 && centre.green() < 40, qPrintable(centre.name()));
        QCOMPARE(item->app, QStringLiteral("Editor"));
        QCOMPARE(item->title, QStringLiteral("Doc"));
        QVERIFY(!item->automatic);
        QVERIFY(!item->id.isNull());
        QCOMPARE(log.messages(), QStringList{QStringLiteral("capture: Editor window 1200x823 → %1x%2")
                                                 .arg(expected.width())
                                                 .arg(expected.height())});
    }

    void failedGrabs_data()
    {
        QTest::addColumn<WindowGrab>("grab");
        QTest::addColumn<QStringList>("logged");
        QTest::newRow("window gone") << WindowGrab::missing() << QStringList();
        QTest::newRow("grab failed") << WindowGrab::failed(QStringLiteral("BadMatch"))
                                     << QStringList{QStringLiteral("capture failed: BadMatch")};
        QTest::newRow("null picture reported as success")
            << WindowGrab::ok(QImage()) << QStringList{QStringLiteral("capture failed: empty image")};
    }

    void failedGrabs()
    {
        QFETCH(WindowGrab, grab);
        QFETCH(QStringList, logged);
        ScopedLog log;
        system.windows = {FakeWindowSystem::window(7, editorPid, QRectF(0, 0, 800, 600))};
        system.grabs.insert(7, grab);
        ScreenCapture capture(system, shutter);
        QVERIFY(!shoot(capture));
        QCOMPARE(system.grabbed, QList<quint32>{7});
        QCOMPARE(log.messages(), logged);
    }

    void shutterFollowsTheSetting()
    {
        ScreenCapture capture(system, shutter);
        capture.click();
        shutterOn = false;
        capture.click();
        shutterOn = true;
        capture.click();
        QCOMPARE(player.played.size(), 2);
        QCOMPARE(player.played.at(0).first, Shutter::defaultFile());
        QCOMPARE(player.played.at(0).second, 0.35);
    }
};

QTEST_GUILESS_MAIN(TestScreenCapture)
#include "tst_screencapture.moc"
