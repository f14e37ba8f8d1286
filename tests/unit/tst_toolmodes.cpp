// The command-line tool modes on virtual time: "--send" arguments, image files and delivery outcomes.
#include "ControllerFakes.h"
#include "ScopedLog.h"
#include "StartedTask.h"
#include "ToolModes.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

namespace {

const ChatTarget budget{QStringLiteral("Budget plan"), QStringLiteral("https://claude.ai/chat/b1")};

// What a tool mode printed.
struct Terminal {
    QStringList out;
    QStringList err;
    QByteArray input;
    ToolModes::Console console()
    {
        return {[this](const QString& l) { out << l; }, [this](const QString& l) { err << l; },
                [this] { return input; }};
    }
};

QImage filled(int w, int h, QColor color, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(w, h, format);
    image.fill(color);
    return image;
}

} // namespace

class TestToolModes : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString write(const QString& name, const QImage& image, const char* format)
    {
        const QString path = dir_.filePath(name);
        QImageWriter writer(path, format);
        if (!writer.write(image)) qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private Q_SLOTS:
    // A request reads "destination|chat|text"; anything else is the problem reported.
    void parseSend_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* name, QStringList arguments, const QByteArray& input,
                            const QString& outcome) { QTest::newRow(name) << arguments << input << outcome; };
        row("words joined", {"what", "is", "this?"}, {}, "claude||what is this?");
        row("input keeps inner breaks, drops the last", {"-"}, "line one\n\nline \"two\"\n\n",
            "claude||line one\n\nline \"two\"\n");
        row("text after -- may look like options", {"--to", "chatgpt", "--", "--image", "-"}, {},
            "chatgpt||--image -");
        row("address on another site than --to",
            {"--to", "claude", "--chat", "https://chatgpt.com/c/abc", "hi"}, {},
            "https://chatgpt.com/c/abc is not a Claude chat");
        row("address of neither site", {"--chat", "https://evilclaude.ai/chat/1", "hi"}, {},
            "https://evilclaude.ai/chat/1 is not a Claude or ChatGPT chat");
        row("words and input", {"hi", "-"}, "there",
            "Give the text as words or as - for standard input, not both");
    }
    void parseSend()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, outcome);
        int reads = 0;
        const auto parsed = ToolModes::parseSend(arguments, Destination::claude(), [&] {
            ++reads;
            return input;
        });
        const auto* request = std::get_if<ToolModes::SendRequest>(&parsed);
        QCOMPARE(request ? request->destination.id + '|' + request->chat + '|' + request->text
                         : std::get<QString>(parsed),
                 outcome);
        // Standard input is read once, and only when asked for.
        if (request)
            QCOMPARE(reads,
                     arguments.contains(QStringLiteral("-")) && !arguments.contains(QStringLiteral("--")));
    }

    // Sizes and formats are checked end to end; transparency only shows here.
    void transparentImagesTurnWhiteNotBlack()
    {
        const QString path =
            write(QStringLiteral("clear.png"), filled(40, 40, Qt::transparent, QImage::Format_ARGB32), "png");
        QString error;
        const std::optional<QByteArray> jpeg = ToolModes::loadImage(path, error);
        QVERIFY2(jpeg, qPrintable(error));
        const QImage decoded = QImage::fromData(*jpeg, "JPEG");
        QCOMPARE(decoded.size(), QSize(40, 40));
        QVERIFY(decoded.pixelColor(20, 20).lightness() > 245);
    }

    void aTruncatedImageIsRefused()
    {
        const QString path = dir_.filePath(QStringLiteral("cut.png"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
        f.close();
        // "--send" stops on it instead of sending without the picture.
        const auto parsed = ToolModes::parseSend({QStringLiteral("hi"), QStringLiteral("--image"), path},
                                                 Destination::claude(), {});
        QVERIFY(std::holds_alternative<QString>(parsed));
        QVERIFY(std::get<QString>(parsed).startsWith(path + QStringLiteral(" could not be read: ")));
    }

    void sendOutcomes_data()
    {
        QTest::addColumn<double>("takes");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::newRow("sent") << 3.0 << 0 << "sent to claude.ai via Chrome, 1 image(s)";
        QTest::newRow("too long") << 80.0 << 1 << "Chrome took too long to respond";
    }
    void sendOutcomes()
    {
        QFETCH(double, takes);
        QFETCH(int, status);
        QFETCH(QString, line);
        ScopedLog log;
        VirtualScheduler clock;
        FakeBrowser browser(clock);
        browser.deliverDelay = fromSeconds(takes);
        Terminal terminal;
        const QString image = write(QStringLiteral("shot.png"), filled(100, 50, Qt::gray), "png");

        StartedTask<std::optional<int>> task(
            ToolModes::run({QStringLiteral("vell"), QStringLiteral("--send"), QStringLiteral("--image"),
                            image, QStringLiteral("look"), QStringLiteral("here")},
                           browser, clock, Browser::chrome, Destination::claude(), terminal.console()));
        clock.advance(std::min(takes, 75.0) - 0.5);
        QVERIFY2(!task.done(), "finished before the delivery did");
        clock.advance(1.0);
        QVERIFY(task.done());
        QCOMPARE(task.value(), std::optional<int>(status));
        QCOMPARE(status == 0 ? terminal.out : terminal.err, QStringList{line});
        QCOMPARE(status == 0 ? terminal.err : terminal.out, QStringList());
        QCOMPARE(browser.deliveries.size(), 1);
        const Delivery& d = browser.deliveries.first();
        QVERIFY(std::tie(d.text, d.destination, d.browser, d.target) ==
                std::tuple(QStringLiteral("look here"), Destination::claude(), Browser::chrome,
                           std::optional<ChatTarget>()));
        QCOMPARE(d.images.size(), 1);
    }

    void aChatNameThatMatchesNothingSendsNothing()
    {
        VirtualScheduler clock;
        FakeBrowser browser(clock);
        browser.chats = ChatList::fromRows({{QStringLiteral("t"), budget.title, budget.url}});
        Terminal terminal;
        StartedTask<std::optional<int>> task(
            ToolModes::run({QStringLiteral("--send"), QStringLiteral("--chat"), QStringLiteral("tax return"),
                            QStringLiteral("hi")},
                           browser, clock, Browser::chrome, Destination::claude(), terminal.console()));
        clock.advance(100);
        QCOMPARE(task.value(), std::optional<int>(1));
        QCOMPARE(browser.listings, 1);
        QCOMPARE(terminal.err, QStringList{QStringLiteral("No Claude chat matches \"tax return\"")});
        QVERIFY(browser.deliveries.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestToolModes)
#include "tst_toolmodes.moc"
