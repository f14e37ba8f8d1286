// A whole session through the real application, driven only from outside the
// process, the way a user drives it: a tap of Right Alt (XTest), speech played
// into the microphone (a PulseAudio pipe source), a copy made with xclip, a
// second tap. The desktop has a window manager, a compositor and a tray; the
// browser is a real Chromium showing the fixture sites. What is checked is what
// a user sees: the HUD on screen without taking focus, the message that arrived
// in the page, and the HUD going away again.
#include "AssistantBrowser.h"
#include "PulseAudioServer.h"
#include "Scheduler.h"
#include "VellApp.h"
#include "X11TestWindows.h"
#include "XServer.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

class TestSession : public QObject {
    Q_OBJECT

private:
    MainScheduler scheduler_;
    std::unique_ptr<XServer> x_;
    std::unique_ptr<PulseAudioServer> pulse_;
    std::unique_ptr<AssistantBrowser> browser_;
    std::unique_ptr<X11TestWindows> windows_;
    std::unique_ptr<XDesk> desk_;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = x_->environment();
        const QProcessEnvironment pulse = pulse_->environment();
        for (const QString& key : pulse.keys())
            env.insert(key, pulse.value(key));
        env.insert(QStringLiteral("VELL_CHROME_USER_DATA_DIRS"), browser_->chromium().userDataDir());
        return env;
    }

    // xclip serves the selection until the next copy; it is stopped once Vell has taken the copy.
    void copyWithXclip(const QByteArray& data, const QString& type, const VellApp& app)
    {
        const qsizetype clips = app.log().count(QStringLiteral("clip: "));
        QProcess xclip;
        xclip.setProcessEnvironment(x_->environment());
        xclip.start(QStringLiteral("xclip"),
                    {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), type});
        QVERIFY(xclip.waitForStarted());
        xclip.write(data);
        xclip.closeWriteChannel();
        QVERIFY2(
            XDesk::waitUntil([&] { return app.log().count(QStringLiteral("clip: ")) > clips; }, 10000, 20),
            qPrintable(app.log()));
        xclip.kill();
        xclip.waitForFinished(2000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        x_ = std::make_unique<XServer>(XServer::Options{1600, 1000, true, true});
        QVERIFY(x_->isRunning());
        x_->startOnDisplay(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
        desk_ = std::make_unique<XDesk>(x_->display());
        QVERIFY(desk_->isOpen());
        pulse_ = std::make_unique<PulseAudioServer>();
        QVERIFY(pulse_->isRunning());
        browser_ = std::make_unique<AssistantBrowser>(scheduler_);
        QVERIFY2(browser_->ready(), qPrintable(browser_->error()));
        windows_ = std::make_unique<X11TestWindows>(x_->display());
        QVERIFY(windows_->isOpen());
    }

    void init() { QVERIFY(browser_->site().reset()); }

    void cleanupTestCase()
    {
        windows_.reset();
        browser_.reset();
        pulse_.reset();
        desk_.reset();
        x_.reset();
    }

    void spokenQuestionWithCopyArrivesInTheChat()
    {
        X11TestWindows::Blueprint notes;
        notes.size = QSize(640, 400);
        notes.title = QStringLiteral("notes.txt");
        const quint32 window = windows_->create(notes);
        QVERIFY(window);
        QVERIFY(windows_->activate(window));

        VellApp app(QStringLiteral(VELL_EXECUTABLE), environment());
        app.writeSetUpPrefs();
        QVERIFY(app.start());
        QVERIFY2(app.waitForLog(QStringLiteral("speech: model ready"), 60000), qPrintable(app.log()));
        QVERIFY(!desk_->hudOnScreen(app.pid()));

        desk_->tap("Alt_R");
        QVERIFY2(XDesk::waitUntil([&] { return desk_->hudOnScreen(app.pid()); }, 10000),
                 qPrintable(app.log()));
        QCOMPARE(desk_->focusedWindow(), window);
        QVERIFY2(app.waitForLog(QStringLiteral("speech: listening"), 10000), qPrintable(app.log()));

        pulse_->play(PulseAudioServer::readRecording(
                         QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw")) +
                     PulseAudioServer::silence(1.0));
        QVERIFY(XDesk::waitUntil([&] { return pulse_->queued() == 0; }, 20000));
        // A copied text replaces the automatic screenshot; a copied picture comes on top.
        copyWithXclip("int speed = 10;", QStringLiteral("UTF8_STRING"), app);
        QImage picture(300, 200, QImage::Format_RGB32);
        picture.fill(QColor(20, 160, 60));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        copyWithXclip(png, QStringLiteral("image/png"), app);

        desk_->tap("Alt_R");
        QVERIFY2(XDesk::waitUntil([&] { return !browser_->site().arrived().isEmpty(); }, 60000, 20),
                 qPrintable(app.log()));
        const FixtureSite::Arrival arrival = browser_->site().arrived().first();
        QCOMPARE(arrival.host, QStringLiteral("claude.ai"));
        QVERIFY2(arrival.text.contains(QStringLiteral("go forward"), Qt::CaseInsensitive),
                 qPrintable(arrival.text));
        QVERIFY2(arrival.text.contains(QStringLiteral("int speed = 10;")), qPrintable(arrival.text));
        QVERIFY2(arrival.images.size() == 1, qPrintable(app.log()));
        const QImage arrived = QImage::fromData(arrival.images.first().bytes, "JPEG");
        QCOMPARE(arrived.size(), picture.size());
        QVERIFY(QColor(arrived.pixel(150, 100)).green() > 140);

        QVERIFY2(app.waitForLog(QStringLiteral("→ sent"), 10000), qPrintable(app.log()));
        QVERIFY(desk_->hudOnScreen(app.pid()));
        QVERIFY2(XDesk::waitUntil([&] { return !desk_->hudOnScreen(app.pid()); }, 5000),
                 qPrintable(app.log()));
        QCOMPARE(desk_->focusedWindow(), window);
    }

    // One copy runs: a second launch hands the window request to it and ends; the tool modes
    // and the HUD demo run beside it.
    void secondLaunchesDeferOrRunBeside()
    {
        VellApp app(QStringLiteral(VELL_EXECUTABLE), environment());
        app.writeSetUpPrefs();
        QVERIFY(app.start());
        QVERIFY2(app.waitForLog(QStringLiteral("launch"), 20000), qPrintable(app.log()));

        const auto second = app.runBeside({}, 20000);
        QVERIFY(second);
        QCOMPARE(second->first, 0);
        // Set up with every permission: reopening shows settings.
        QVERIFY2(app.waitForLog(QStringLiteral("settings window"), 10000), qPrintable(app.log()));
        QVERIFY(app.running());

        const auto listing = app.runBeside({QStringLiteral("--list-chats")}, 60000);
        QVERIFY(listing);
        QCOMPARE(listing->first, 0);
        QVERIFY2(listing->second.startsWith(QStringLiteral("chats Claude in Chrome: tabs [")),
                 qPrintable(listing->second));

        const QString snap = app.home() + QStringLiteral("/sent.png");
        VellApp demo(QStringLiteral(VELL_EXECUTABLE), environment());
        QVERIFY(demo.start({QStringLiteral("--demo"), QStringLiteral("--state"), QStringLiteral("sent"),
                            QStringLiteral("--snap"), snap}));
        QVERIFY2(demo.waitForLog(QStringLiteral("demo snap → ") + snap, 20000), qPrintable(demo.log()));
        QCOMPARE(QImage(snap).size(), QSize(800, 340));
        QVERIFY(demo.running() && app.running());
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
