// The command-line tool modes on virtual time, against a browser double:
// reading "--send" arguments and image files, the status and chat lines, and
// the exit status and the one line a delivery prints.
#include "ControllerFakes.h"
#include "ScopedLog.h"
#include "StartedTask.h"
#include "ToolModes.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

using ToolModes::Mode;

namespace {

const ChatTarget budget{QStringLiteral("Budget plan"), QStringLiteral("https://claude.ai/chat/b1")};
const ChatTarget trip{QStringLiteral("Trip to Lisbon"), QStringLiteral("https://claude.ai/chat/t1")};

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

    // Runs a mode to its end on virtual time.
    static std::pair<std::optional<int>, StartedTask<std::optional<int>>>
    runToEnd(const QStringList& arguments, FakeBrowser& browser, VirtualScheduler& clock, Terminal& terminal,
             double seconds = 100)
    {
        StartedTask<std::optional<int>> task(ToolModes::run(arguments, browser, clock, Browser::chrome,
                                                            Destination::claude(), terminal.console()));
        clock.advance(seconds);
        return {task.done() ? task.value() : std::optional<int>(-99), task};
    }

private Q_SLOTS:
    void requestedMode_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Mode>("mode");
        QTest::newRow("status before chats")
            << QStringList{QStringLiteral("--list-chats"), QStringLiteral("--automation-status")}
            << Mode::automationStatus;
        QTest::newRow("chats before send")
            << QStringList{QStringLiteral("--send"), QStringLiteral("--list-chats")} << Mode::listChats;
        QTest::newRow("only exact words")
            << QStringList{QStringLiteral("--send=hi"), QStringLiteral("--list-chat")} << Mode::none;
    }
    void requestedMode()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Mode, mode);
        QCOMPARE(ToolModes::requested(arguments), mode);
    }

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
        row("input with a Windows line end", {"-"}, "x\r\n", "claude||x");
        row("text after -- may look like options", {"--to", "chatgpt", "--", "--image", "-"}, {},
            "chatgpt||--image -");
        row("chat address picks its site", {"--chat", "https://chatgpt.com/c/abc", "hi"}, {},
            "chatgpt|https://chatgpt.com/c/abc|hi");
        row("address on another site than --to",
            {"--to", "claude", "--chat", "https://chatgpt.com/c/abc", "hi"}, {},
            "https://chatgpt.com/c/abc is not a Claude chat");
        row("address of neither site", {"--chat", "https://evilclaude.ai/chat/1", "hi"}, {},
            "https://evilclaude.ai/chat/1 is not a Claude or ChatGPT chat");
        row("--to without a value", {"hi", "--to"}, {}, "--to takes claude or chatgpt");
        row("words and input", {"hi", "-"}, "there",
            "Give the text as words or as - for standard input, not both");
        row("blank input", {"-"}, " \n\t\n", "Nothing to send");
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

    void unusableImagesAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("problemEnd");
        QTest::newRow("text") << "notes.png" << QByteArray("just words\n") << " is not a PNG or JPEG image";
        QTest::newRow("truncated PNG")
            << "cut.png" << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << " could not be read: ";
    }
    void unusableImagesAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, contents);
        QFETCH(QString, problemEnd);
        const QString path = dir_.filePath(name);
        if (!contents.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contents);
        }
        QString error;
        QVERIFY(!ToolModes::loadImage(path, error));
        QVERIFY2(error.startsWith(path + problemEnd), qPrintable(error));

        // And "--send" stops on it instead of sending without the picture.
        const auto parsed = ToolModes::parseSend({QStringLiteral("hi"), QStringLiteral("--image"), path},
                                                 Destination::claude(), {});
        QVERIFY(std::holds_alternative<QString>(parsed));
        QCOMPARE(std::get<QString>(parsed), error);
    }

    void sendOutcomes_data()
    {
        QTest::addColumn<std::optional<DeliveryError>>("error");
        QTest::addColumn<double>("takes");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("logged");
        QTest::newRow("sent") << std::optional<DeliveryError>() << 3.0 << 0
                              << "sent to claude.ai via Chrome, 1 image(s)"
                              << "";
        QTest::newRow("page error") << std::optional(
                                           DeliveryError::page(QStringLiteral("still uploading after 30s")))
                                    << 31.0 << 1 << "The chat page didn't respond"
                                    << "deliver failed: page(\"still uploading after 30s\")";
        QTest::newRow("too long") << std::optional<DeliveryError>() << 80.0 << 1
                                  << "Chrome took too long to respond"
                                  << "deliver: gave up after 75s";
    }
    void sendOutcomes()
    {
        QFETCH(std::optional<DeliveryError>, error);
        QFETCH(double, takes);
        QFETCH(int, status);
        QFETCH(QString, line);
        QFETCH(QString, logged);

        ScopedLog log;
        VirtualScheduler clock;
        FakeBrowser browser(clock);
        browser.deliverError = error;
        browser.deliverDelay = fromSeconds(takes);
        Terminal terminal;
        const QString image = write(QStringLiteral("shot.png"), filled(100, 50, Qt::gray), "png");

        StartedTask<std::optional<int>> task(
            ToolModes::run({QStringLiteral("vell"), QStringLiteral("--send"), QStringLiteral("--image"),
                            image, QStringLiteral("look"), QStringLiteral("here")},
                           browser, clock, Browser::chrome, Destination::claude(), terminal.console()));
        const double end = std::min(takes, 75.0);
        if (end > 0.5) {
            clock.advance(end - 0.5);
            QVERIFY2(!task.done(), "finished before the delivery did");
        }
        clock.advance(1.0);
        QVERIFY(task.done());
        QCOMPARE(task.value(), std::optional<int>(status));
        QCOMPARE(status == 0 ? terminal.out : terminal.err, QStringList{line});
        QCOMPARE(status == 0 ? terminal.err : terminal.out, QStringList());
        if (!logged.isEmpty())
            QVERIFY2(log.messages().contains(logged), qPrintable(log.messages().join('\n')));

        QCOMPARE(browser.deliveries.size(), 1);
        const Delivery& d = browser.deliveries.first();
        QVERIFY(std::tie(d.text, d.destination, d.browser, d.target) ==
                std::tuple(QStringLiteral("look here"), Destination::claude(), Browser::chrome,
                           std::optional<ChatTarget>()));
        QCOMPARE(d.images.size(), 1);
        QCOMPARE(QImage::fromData(d.images.first(), "JPEG").size(), QSize(100, 50));
    }

    void chatNamesAreLookedUpAmongTheDestinationsChats_data()
    {
        QTest::addColumn<QString>("chat");
        QTest::addColumn<int>("status");
        QTest::addColumn<std::optional<ChatTarget>>("target");
        QTest::addColumn<int>("listings");
        QTest::addColumn<QString>("line");
        QTest::newRow("no match") << "tax return" << 1 << std::optional<ChatTarget>() << 1
                                  << "No Claude chat matches \"tax return\"";
        QTest::newRow("address needs no list")
            << "https://claude.ai/chat/zz?x=1" << 0
            << std::optional(ChatTarget{QStringLiteral("https://claude.ai/chat/zz?x=1"),
                                        QStringLiteral("https://claude.ai/chat/zz?x=1")})
            << 0 << "sent to https://claude.ai/chat/zz?x=1 via Chrome, 0 image(s)";
    }
    void chatNamesAreLookedUpAmongTheDestinationsChats()
    {
        QFETCH(QString, chat);
        QFETCH(int, status);
        QFETCH(std::optional<ChatTarget>, target);
        QFETCH(int, listings);
        QFETCH(QString, line);

        VirtualScheduler clock;
        FakeBrowser browser(clock);
        browser.chats = ChatList::fromRows(
            {{QStringLiteral("t"), budget.title, budget.url}, {QStringLiteral("r"), trip.title, trip.url}});
        Terminal terminal;
        const auto [result, task] =
            runToEnd({QStringLiteral("--send"), QStringLiteral("--chat"), chat, QStringLiteral("hello")},
                     browser, clock, terminal);
        QCOMPARE(result, std::optional<int>(status));
        QCOMPARE(browser.listings, listings);
        QCOMPARE((terminal.out + terminal.err), QStringList{line});
        QCOMPARE(browser.deliveries.size(), status == 0 ? 1 : 0);
        if (status == 0) QCOMPARE(browser.deliveries.first().target, target);
    }
};

QTEST_GUILESS_MAIN(TestToolModes)
#include "tst_toolmodes.moc"
