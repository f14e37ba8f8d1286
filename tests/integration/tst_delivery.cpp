// Whole deliveries with Vell's real delivery procedure, browser programs and
// runner against a real Chromium and the fixture assistant sites: what the
// page finally sends must be exactly the text and pictures Vell was given,
// and every way a page can let a delivery down must end in its own error.
#include "AssistantBrowser.h"
#include "Deliverer.h"
#include "Jpeg.h"
#include "ScopedLog.h"
#include "StartedTask.h"

#include <QImage>
#include <QJsonObject>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <map>

namespace {

// A screenshot-like picture: a gradient, some noise, a label.
QByteArray picture(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 255) / width, (y * 255) / height, int(random.bounded(64)) + int(seed % 128));
    }
    return Jpeg::encode(image);
}

// Mostly noise, so the JPEG stays large: about 1.2 MB, four pieces of Base64.
QByteArray largePicture()
{
    QImage image(1500, 1000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return Jpeg::encode(image);
}

// Where two long strings first differ, for a readable failure.
QString firstDifference(const QString& a, const QString& b)
{
    qsizetype i = 0;
    while (i < a.size() && i < b.size() && a.at(i) == b.at(i))
        ++i;
    return QStringLiteral("lengths %1 and %2, first difference at %3: ...%4... vs ...%5...")
        .arg(a.size())
        .arg(b.size())
        .arg(i)
        .arg(a.mid(std::max<qsizetype>(0, i - 10), 20), b.mid(std::max<qsizetype>(0, i - 10), 20));
}

// One way a real page can let a delivery down. The cases run at the same
// time, each in its own tab (found through its own target address).
// Deadlines, refusals and the send button's states are the procedure's own
// logic and are covered on virtual time.
struct Case {
    QString name;
    Destination destination;
    QString target;   // the chat address, opened before the delivery starts
    QString outcome;  // "sent", or the error as the log renders it
    QString via;      // how the page sent it, for "sent"
    QString alsoOpen; // another tab of the same site, opened first
};

const QString claudeChat = QStringLiteral("https://claude.ai/chat/");
const QString gptChat = QStringLiteral("https://chatgpt.com/c/");

const QList<Case>& cases()
{
    const Destination& claude = Destination::claude();
    const Destination& gpt = Destination::chatgpt();
    const QString typeFails = QStringLiteral("page(\"could not type into the message box\")");
    const QString closed = QStringLiteral("page(\"err:tab closed\")");
    // clang-format off
    static const QList<Case> table{
        {"editor refuses the text", claude, claudeChat + "reject?fault=reject", typeFails},
        {"text stays in the box", claude, claudeChat + "stays?fault=textstays", "notSent"},
        {"no send button: Enter", claude, claudeChat + "enter?fault=nosend", "sent", "enter"},
        // Once the delivery's own tab is gone, the page scripts must not act on another chat of
        // the site (its draft would go out instead).
        {"tab closed while another chat holds a draft", gpt, gptChat + "closing?fault=close", closed, {},
         gptChat + "draft?draft=my%20own%20draft"},
    };
    // clang-format on
    return table;
}

const Case& caseNamed(const QString& name)
{
    for (const Case& c : cases())
        if (c.name == name) return c;
    qFatal("no case %s", qPrintable(name));
}

} // namespace

class TestDelivery : public QObject {
    Q_OBJECT

private:
    MainScheduler scheduler_;
    std::unique_ptr<AssistantBrowser> browser_;
    QList<QByteArray> shots_;

    // The failure cases, started together by the first of them.
    std::map<QString, StartedTask<void>> started_;

    StartedTask<void> deliver(const Delivery& delivery)
    {
        return StartedTask<void>(browser_->vell().access().deliver(delivery));
    }
    static QString outcomeOf(const StartedTask<void>& task)
    {
        if (task.succeeded()) return QStringLiteral("sent");
        if (const auto e = task.error<DeliveryError>()) return e->rendered();
        try {
            std::rethrow_exception(task.exception());
        } catch (const std::exception& e) {
            return QStringLiteral("other: ") + QString::fromUtf8(e.what());
        }
    }
    // The one message that arrived, once it has.
    std::optional<FixtureSite::Arrival> arrival()
    {
        QList<FixtureSite::Arrival> arrived;
        if (!AssistantBrowser::waitUntil([&] { return !(arrived = browser_->site().arrived()).isEmpty(); },
                                         10000, 50))
            return std::nullopt;
        return arrived.size() == 1 ? std::optional(arrived.first()) : std::nullopt;
    }

    void startFailures()
    {
        QVERIFY(browser_->site().reset());
        QVERIFY(browser_->resetTabs());
        for (const Case& c : cases())
            for (const QString& url : {c.alsoOpen, c.target})
                if (!url.isEmpty()) QVERIFY2(browser_->openTab(url), qPrintable(url));
        for (const Case& c : cases())
            started_.emplace(c.name, deliver({QStringLiteral("Case: ") + c.name,
                                              {shots_.at(1)},
                                              c.destination,
                                              Browser::chrome,
                                              ChatTarget{c.name, c.target}}));
    }

private Q_SLOTS:
    void initTestCase()
    {
        browser_ = std::make_unique<AssistantBrowser>(scheduler_);
        QVERIFY2(browser_->ready(), qPrintable(browser_->error()));
        shots_ = {picture(1500, 1000, 1), picture(800, 600, 2), largePicture()};
        for (const QByteArray& shot : shots_)
            QVERIFY(!shot.isEmpty());
        QVERIFY2(shots_.at(2).size() > 1'100'000 &&
                     shots_.at(2).toBase64().size() > 3 * Deliverer::imagePieceSize,
                 qPrintable(QString::number(shots_.at(2).size())));
    }
    void init()
    {
        // The failure cases keep their tabs from one row to the next.
        if (QTest::currentTestFunction() == QLatin1String("failures")) return;
        QVERIFY(browser_->site().reset());
        QVERIFY(browser_->resetTabs());
    }
    void cleanupTestCase()
    {
        // Outcomes of cases still running no longer matter, but their tasks must end before the browser does.
        browser_.reset();
    }

    void arrivesComplete_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("upload");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("shots");

        const QString text = QStringLiteral("Compare these two screenshots.\nWhich one is right?");
        QTest::newRow("rich editor, pasted images, a chat")
            << "claude.ai"
            << "prosemirror"
            << "paste"
            << "https://claude.ai/chat/budget-plan-0001" << text << QList<int>{0, 1};
        QTest::newRow("text area, file input, large screenshot in four pieces")
            << "chatgpt.com"
            << "textarea"
            << "input" << QString() << text << QList<int>{2, 0};
        QTest::newRow("bare editable element, images without text")
            << "claude.ai"
            << "plain"
            << "input" << QString() << QString() << QList<int>{1};
    }
    void arrivesComplete()
    {
        QFETCH(QString, host);
        QFETCH(QString, editor);
        QFETCH(QString, upload);
        QFETCH(QString, target);
        QFETCH(QString, text);
        QFETCH(QList<int>, shots);

        QVERIFY(browser_->site().configure(host, {{"editor", editor}, {"upload", upload}}));
        const Destination& destination =
            host == QLatin1String("claude.ai") ? Destination::claude() : Destination::chatgpt();
        QList<QByteArray> images;
        for (int i : shots)
            images << shots_.at(i);
        ScopedLog log;

        StartedTask<void> task = deliver(
            {text, images, destination, Browser::chrome,
             target.isEmpty() ? std::nullopt : std::optional(ChatTarget{QStringLiteral("chat"), target})});
        QVERIFY(AssistantBrowser::waitUntil([&] { return task.done(); }, 60000));
        QCOMPARE(outcomeOf(task), QStringLiteral("sent"));
        QVERIFY(log.messages().contains(QStringLiteral("deliver: sent to ") + host +
                                        QStringLiteral(" via Chrome, ") + QString::number(images.size()) +
                                        QStringLiteral(" image(s)")));

        const std::optional<FixtureSite::Arrival> arrived = arrival();
        QVERIFY2(arrived, "not exactly one message arrived");
        QCOMPARE(arrived->host, host);
        QCOMPARE(arrived->text, text);
        QCOMPARE(arrived->via, QStringLiteral("click"));
        if (!target.isEmpty()) QVERIFY2(target.endsWith(arrived->path), qPrintable(arrived->path));
        QCOMPARE(arrived->images.size(), images.size());
        for (int i = 0; i < images.size(); ++i) {
            QCOMPARE(arrived->images.at(i).name, QStringLiteral("screenshot-%1.jpg").arg(i + 1));
            QCOMPARE(arrived->images.at(i).type, QStringLiteral("image/jpeg"));
            QVERIFY2(arrived->images.at(i).bytes == images.at(i),
                     qPrintable(QStringLiteral("image %1").arg(i)));
        }
    }

    void hostileTextArrivesUnchanged_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("text");

        const QString breakouts = QStringLiteral(
            "\"; fetch(\"/__pwned?dq\"); \" '); fetch('/__pwned?sq'); (' `${fetch('/__pwned?tpl')}` "
            "\\\"); fetch('/__pwned?bs'); //");
        const QString markup =
            QStringLiteral("</script><script>fetch('/__pwned?script')</script><img src=/__pwned?img "
                           "onerror=\"fetch('/__pwned?onerror')\"><!-- x --> &amp; &lt;b&gt;");
        const QString breaks =
            QStringLiteral("one\ntwo\r\nthree\n\n  indented\tTAB\u2028LS\u2029PS\u0085NEL end\n");
        const QString wide =
            QStringLiteral("naïve café — 日本語 🙂👍🏽 e\u0301 Ω ﷽ \u200b zero-width");
        QTest::newRow("all of it in the rich editor")
            << "claude.ai"
            << "prosemirror" << (breakouts + markup + breaks + wide);
        // A text area turns \r\n into \n itself, so that row keeps to \n.
        QTest::newRow("all of it in a text area")
            << "chatgpt.com"
            << "textarea" << (breakouts + "\n" + markup + "\n" + wide + QStringLiteral("\u2028\n"));
    }
    void hostileTextArrivesUnchanged()
    {
        QFETCH(QString, host);
        QFETCH(QString, editor);
        QFETCH(QString, text);

        QVERIFY(browser_->site().configure(host, {{"editor", editor}}));
        const Destination& destination =
            host == QLatin1String("claude.ai") ? Destination::claude() : Destination::chatgpt();
        StartedTask<void> task = deliver({text, {shots_.at(1)}, destination, Browser::chrome, std::nullopt});
        QVERIFY(AssistantBrowser::waitUntil([&] { return task.done(); }, 60000));
        QCOMPARE(outcomeOf(task), QStringLiteral("sent"));

        const std::optional<FixtureSite::Arrival> arrived = arrival();
        QVERIFY2(arrived, "not exactly one message arrived");
        QVERIFY2(arrived->text == text, qPrintable(firstDifference(arrived->text, text)));
        QCOMPARE(arrived->images.size(), 1);
        QCOMPARE(browser_->site().pwned(), QStringList());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("name");
        for (const Case& c : cases())
            QTest::newRow(qPrintable(c.name)) << c.name;
    }
    void failures()
    {
        QFETCH(QString, name);
        const Case& c = caseNamed(name);
        if (started_.empty()) startFailures();

        const StartedTask<void>& task = started_.at(name);
        QVERIFY2(AssistantBrowser::waitUntil([&] { return task.done(); }, 60000), "the delivery never ended");
        QCOMPARE(outcomeOf(task), c.outcome);

        // Only a delivery that was sent left anything with the site, and only once.
        QStringList paths;
        for (const FixtureSite::Arrival& a : browser_->site().arrived())
            if (a.text == QStringLiteral("Case: ") + name) paths << a.path;
        QStringList vias;
        for (const FixtureSite::Arrival& a : browser_->site().arrived())
            if (a.text == QStringLiteral("Case: ") + name && a.images.size() == 1) vias << a.via;
        QCOMPARE(vias, c.outcome == QLatin1String("sent") ? QStringList{c.via} : QStringList());
        QCOMPARE(paths.size(), vias.size());
    }
};

QTEST_GUILESS_MAIN(TestDelivery)
#include "tst_delivery.moc"
