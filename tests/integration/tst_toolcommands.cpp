// The vell executable's tool modes end to end: a real process, run the way a
// user runs it from a terminal, against a real Chromium showing the fixture
// sites. Checks exit statuses, the one printed line, the log and what arrived.
#include "AssistantBrowser.h"
#include "Scheduler.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestToolCommands : public QObject {
    Q_OBJECT

private:
    MainScheduler scheduler_;
    std::unique_ptr<AssistantBrowser> browser_;
    QTemporaryDir home_;

    QString logPath() const { return home_.filePath(QStringLiteral("state/Vell/Vell.log")); }
    QStringList logMessages() const
    {
        QFile f(logPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList out;
        for (const QString& line :
             QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            out << line.section(QLatin1Char(' '), 1);
        return out;
    }

    // Runs vell with the arguments; the event loop keeps going meanwhile, so the test's own link stays
    // served.
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
        if (!AssistantBrowser::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 120000,
                                         20)) {
            process.kill();
            process.waitForFinished(5000);
            return {};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString writeImage(const QString& name, const QSize& size, const char* format)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(30, 120, 200));
        const QString path = home_.filePath(name);
        QImageWriter writer(path, format);
        return writer.write(image) ? path : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(home_.isValid());
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

    void send_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("open"); // a tab to open first
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text"); // what arrives; none arrives for a failure
        QTest::addColumn<QString>("path");
        QTest::addColumn<QList<QSize>>("images");

        // Refusals before anything is sent are the parser's and are covered on virtual time;
        // here a page's refusal shows the real exit status and error stream.
        const QString hostile =
            QStringLiteral("Line \"one\"\n\\two\\ '</script>' \u2028 ${x} ünïcödé 🙂");
        QTest::newRow("standard input, final line break dropped")
            << QStringList{"-"} << (hostile + QStringLiteral("\n")).toUtf8() << QString() << 0
            << "sent to claude.ai via Chrome, 0 image(s)" << hostile << "/new" << QList<QSize>();
        QTest::newRow("images to ChatGPT")
            << QStringList{"--to",    "chatgpt",    "--image", "@big.png",
                           "--image", "@small.jpg", "two",     "pictures"}
            << QByteArray() << QString() << 0 << "sent to chatgpt.com via Chrome, 2 image(s)"
            << "two pictures"
            << "/" << QList<QSize>{{1500, 1000}, {320, 240}};
        QTest::newRow("chat by spoken name")
            << QStringList{"--chat", "the lisbon trip", "pack", "light"} << QByteArray()
            << QStringLiteral("https://claude.ai/new") << 0
            << "sent to https://claude.ai/chat/trip-lisbon-0002 via Chrome, 0 image(s)"
            << "pack light"
            << "/chat/trip-lisbon-0002" << QList<QSize>();
        QTest::newRow("page keeps the text")
            << QStringList{"--chat", "https://claude.ai/chat/stuck?fault=textstays", "hello"} << QByteArray()
            << QString() << 1 << "Send didn't go through" << QString() << QString() << QList<QSize>();
    }
    void send()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, open);
        QFETCH(int, status);
        QFETCH(QString, line);
        QFETCH(QString, text);
        QFETCH(QString, path);
        QFETCH(QList<QSize>, images);

        // "@name" stands for a file made for the test.
        const QMap<QString, QString> files{
            {QStringLiteral("@big.png"), writeImage(QStringLiteral("big.png"), {3000, 2000}, "png")},
            {QStringLiteral("@small.jpg"), writeImage(QStringLiteral("small.jpg"), {320, 240}, "jpeg")}};
        for (QString& a : arguments)
            a = files.value(a, a);
        if (!open.isEmpty()) QVERIFY(browser_->openTab(open));

        const Run run = vell(QStringList{QStringLiteral("--send")} + arguments, input);
        QCOMPARE(run.status, status);
        QCOMPARE(status == 0 ? run.out : run.err, line + QLatin1Char('\n'));
        QCOMPARE(status == 0 ? run.err : run.out, QString());

        if (status != 0) {
            QCOMPARE(browser_->site().arrived().size(), 0);
            return;
        }
        const QList<FixtureSite::Arrival> arrived = browser_->site().arrived();
        QCOMPARE(arrived.size(), 1);
        QCOMPARE(arrived.first().text, text);
        QVERIFY2(arrived.first().path.startsWith(path), qPrintable(arrived.first().path));
        QCOMPARE(arrived.first().images.size(), images.size());
        for (int i = 0; i < images.size(); ++i) {
            QImage picture;
            QVERIFY(picture.loadFromData(arrived.first().images.at(i).bytes, "JPEG"));
            QCOMPARE(picture.size(), images.at(i));
        }
        const QString host = line.contains(QLatin1String("chatgpt.com")) ? QStringLiteral("chatgpt.com")
                                                                         : QStringLiteral("claude.ai");
        const QString logged = QStringLiteral("deliver: sent to ") + host + QStringLiteral(" via Chrome, ") +
                               QString::number(images.size()) + QStringLiteral(" image(s)");
        QVERIFY2(logMessages().contains(logged), qPrintable(logMessages().join(QLatin1Char('\n'))));
    }

    void listChats()
    {
        QVERIFY(browser_->openTab(QStringLiteral("https://claude.ai/chat/budget-plan-0001")));
        const Run run = vell({QStringLiteral("--list-chats")});
        QCOMPARE(run.status, 0);
        const QStringList lines{QStringLiteral("chats Claude in Chrome: tabs [\"Budget plan\"], recents "
                                               "[\"Budget plan\", \"Trip to Lisbon\", "
                                               "\"Recipe notes\"]"),
                                QStringLiteral("chats ChatGPT in Chrome: tabs [], recents []")};
        QCOMPARE(run.out, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        QCOMPARE(logMessages(), lines);
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
        for (const QString& l : lines)
            QCOMPARE(logMessages().count(l), 1);
    }
};

QTEST_GUILESS_MAIN(TestToolCommands)
#include "tst_toolcommands.moc"
