// The vell executable's tool modes end to end, run as from a terminal against a real Chromium
// showing the fixture sites: exit statuses, the one printed line, the log and what arrived.
#include "AssistantBrowser.h"
#include "Scheduler.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestToolCommands : public QObject {
    Q_OBJECT

private:
    MainScheduler scheduler_;
    std::unique_ptr<AssistantBrowser> browser_;
    QTemporaryDir home_;
    struct Run {
        int status = -1;
        QString out, err;
    };

    QString logPath() const { return home_.filePath(QStringLiteral("state/Vell/Vell.log")); }

    // Runs vell; the event loop keeps going meanwhile, so the test's own link stays served.
    Run vell(const QStringList& arguments, const QByteArray& input = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELL_CHROME_USER_DATA_DIRS"), browser_->chromium().userDataDir());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home_.filePath(QStringLiteral("state")));
        // Headless browser: no X server's window order to consult.
        env.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELL_EXECUTABLE), arguments);
        if (!process.waitForStarted(10000)) return {};
        process.write(input);
        process.closeWriteChannel();
        const auto ended = [&] { return process.state() == QProcess::NotRunning; };
        if (!AssistantBrowser::waitUntil(ended, 120000, 20)) return {}; // the QProcess destructor kills it
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        browser_ = std::make_unique<AssistantBrowser>(scheduler_);
        QVERIFY2(browser_->ready(), qPrintable(browser_->error()));
    }
    void init()
    {
        QVERIFY(browser_->site().reset());
        QVERIFY(browser_->resetTabs());
        QFile::remove(logPath());
    }
    void cleanupTestCase() { browser_.reset(); }

    // A page's refusal shows the real exit status and error stream (the parser's are unit-tested).
    void send_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "@name": a picture made for the test
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text"); // what arrives; none arrives for a failure
        QTest::addColumn<QList<QSize>>("images");
        const QString hostile =
            QStringLiteral("Line \"one\"\n\\two\\ '</script>' \u2028 ${x} ünïcödé 🙂");
        QTest::newRow("standard input, final line break dropped")
            << QStringList{"-"} << (hostile + QStringLiteral("\n")).toUtf8() << 0
            << "sent to claude.ai via Chrome, 0 image(s)" << hostile << QList<QSize>();
        QTest::newRow("images to ChatGPT")
            << QStringList{"--to",    "chatgpt",    "--image", "@big.png",
                           "--image", "@small.jpg", "two",     "pictures"}
            << QByteArray() << 0 << "sent to chatgpt.com via Chrome, 2 image(s)"
            << "two pictures" << QList<QSize>{{1500, 1000}, {320, 240}};
        QTest::newRow("page keeps the text")
            << QStringList{"--chat", "https://claude.ai/chat/stuck?fault=textstays", "hello"} << QByteArray()
            << 1 << "Send didn't go through" << QString() << QList<QSize>();
    }
    void send()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, line);
        QFETCH(QString, text);
        QFETCH(QList<QSize>, images);
        for (QString& a : arguments)
            if (a.startsWith(QLatin1Char('@'))) {
                QImage image(a.contains(QLatin1String("big")) ? QSize(3000, 2000) : QSize(320, 240),
                             QImage::Format_RGB32);
                image.fill(QColor(30, 120, 200));
                QVERIFY(image.save(a = home_.filePath(a.mid(1))));
            }
        const Run run = vell(QStringList{QStringLiteral("--send")} + arguments, input);
        QCOMPARE(run.status, status);
        QCOMPARE(run.out + '|' + run.err, status == 0 ? line + "\n|" : '|' + line + '\n');
        const QList<FixtureSite::Arrival> arrived = browser_->site().arrived();
        QCOMPARE(arrived.size(), status == 0 ? 1 : 0);
        if (status != 0) return;
        QCOMPARE(arrived.first().text, text);
        QCOMPARE(arrived.first().images.size(), images.size());
        for (int i = 0; i < images.size(); ++i)
            QCOMPARE(QImage::fromData(arrived.first().images.at(i).bytes, "JPEG").size(), images.at(i));
    }

    void automationStatus()
    {
        const Run run = vell({QStringLiteral("--automation-status")});
        QCOMPARE(run.status, 0);
        // A browser that listens, but that this process never connected to, has not been asked.
        const QStringList lines{QStringLiteral("status Safari: browserNotRunning"),
                                QStringLiteral("status Chrome: notAsked")};
        QCOMPARE(run.out, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        // Each answer is logged once, not once by the check and again by its caller.
        QFile log(logPath());
        const QString logged = log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        for (const QString& l : lines)
            QCOMPARE(logged.count(QLatin1Char(' ') + l + QLatin1Char('\n')), 1);
    }
};

QTEST_GUILESS_MAIN(TestToolCommands)
#include "tst_toolcommands.moc"
