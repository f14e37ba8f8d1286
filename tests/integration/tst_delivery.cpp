// Whole deliveries with Vell's real delivery procedure, browser programs and
// runner against a real Chromium and the fixture assistant sites: what the
// page finally sends must be exactly the text and pictures Vell was given,
// and every way a page can let a delivery down must end in its own error.
#include "AssistantBrowser.h"
#include "Deliverer.h"
#include "Jpeg.h"
#include "StartedTask.h"

#include <QImage>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

#include <list>

namespace {

// A screenshot-like picture: a gradient with some noise, or (noisy) all noise,
// so the JPEG stays large.
QByteArray picture(int width, int height, quint32 seed, bool noisy = false)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = noisy
                          ? random.generate() | 0xff000000u
                          : qRgb((x * 255) / width, (y * 255) / height, int(random.bounded(64)) + int(seed));
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

QString outcomeOf(const StartedTask<void>& task)
{
    if (task.succeeded()) return QStringLiteral("sent");
    if (const auto e = task.error<DeliveryError>()) return e->rendered();
    return QStringLiteral("other failure");
}

} // namespace

class TestDelivery : public QObject {
    Q_OBJECT

private:
    MainScheduler scheduler_;
    std::unique_ptr<AssistantBrowser> browser_;
    QList<QByteArray> shots_;

    StartedTask<void> deliver(const Delivery& delivery)
    {
        return StartedTask<void>(browser_->vell().access().deliver(delivery));
    }

private Q_SLOTS:
    void initTestCase()
    {
        browser_ = std::make_unique<AssistantBrowser>(scheduler_);
        QVERIFY2(browser_->ready(), qPrintable(browser_->error()));
        shots_ = {picture(1500, 1000, 1), picture(800, 600, 2), picture(1500, 1000, 7, true)};
        // About 1.2 MB: four pieces of Base64.
        QVERIFY2(shots_.at(2).toBase64().size() > 3 * Deliverer::imagePieceSize,
                 qPrintable(QString::number(shots_.at(2).size())));
    }
    void init()
    {
        QVERIFY(browser_->site().reset());
        QVERIFY(browser_->resetTabs());
    }
    void cleanupTestCase() { browser_.reset(); }

    // Text that tries to break out of every quoting and markup context, line
    // breaks of every kind and wide characters arrive unchanged and run nothing.
    void arrivesComplete_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("upload");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("shots");

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
        QTest::newRow("rich editor, pasted images, a chat")
            << "claude.ai"
            << "prosemirror"
            << "paste"
            << "https://claude.ai/chat/budget-plan-0001" << (breakouts + markup + breaks + wide)
            << QList<int>{0, 1};
        // A text area turns \r\n into \n itself, so that row keeps to \n.
        QTest::newRow("text area, file input, large screenshot in four pieces")
            << "chatgpt.com"
            << "textarea"
            << "input" << QString() << (breakouts + "\n" + markup + "\n" + wide + QStringLiteral("\u2028\n"))
            << QList<int>{2, 0};
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
        QList<QByteArray> images;
        for (int i : shots)
            images << shots_.at(i);
        StartedTask<void> task = deliver(
            {text, images,
             host == QLatin1String("claude.ai") ? Destination::claude() : Destination::chatgpt(),
             Browser::chrome,
             target.isEmpty() ? std::nullopt : std::optional(ChatTarget{QStringLiteral("chat"), target})});
        QVERIFY(AssistantBrowser::waitUntil([&] { return task.done(); }, 60000));
        QCOMPARE(outcomeOf(task), QStringLiteral("sent"));

        QList<FixtureSite::Arrival> arrived;
        QVERIFY(AssistantBrowser::waitUntil([&] { return !(arrived = browser_->site().arrived()).isEmpty(); },
                                            10000, 50));
        QCOMPARE(arrived.size(), 1);
        QCOMPARE(arrived[0].host, host);
        QVERIFY2(arrived[0].text == text, qPrintable(firstDifference(arrived[0].text, text)));
        QCOMPARE(arrived[0].via, QStringLiteral("click"));
        if (!target.isEmpty()) QVERIFY2(target.endsWith(arrived[0].path), qPrintable(arrived[0].path));
        QCOMPARE(arrived[0].images.size(), images.size());
        for (int i = 0; i < images.size(); ++i) {
            QCOMPARE(arrived[0].images.at(i).name, QStringLiteral("screenshot-%1.jpg").arg(i + 1));
            QCOMPARE(arrived[0].images.at(i).type, QStringLiteral("image/jpeg"));
            QVERIFY2(arrived[0].images.at(i).bytes == images.at(i),
                     qPrintable(QStringLiteral("image %1").arg(i)));
        }
        QCOMPARE(browser_->site().pwned(), QStringList());
    }

    // Ways a real page can let a delivery down, run at the same time, each in
    // its own tab (found through its own target address). Deadlines, refusals
    // and the send button's states are the procedure's own logic, on virtual time.
    void failures()
    {
        struct Case {
            QString name;
            const Destination& destination;
            QString target;   // the chat address, opened before the delivery starts
            QString outcome;  // "sent", or the error as rendered
            QString via;      // how the page sent it, for "sent"
            QString alsoOpen; // another tab of the same site, opened first
        };
        const QString claudeChat = QStringLiteral("https://claude.ai/chat/");
        const QString gptChat = QStringLiteral("https://chatgpt.com/c/");
        // clang-format off
        const QList<Case> cases{
            {"editor refuses the text", Destination::claude(), claudeChat + "reject?fault=reject",
             "page(\"could not type into the message box\")"},
            {"no send button: Enter", Destination::claude(), claudeChat + "enter?fault=nosend", "sent", "enter"},
            // Once the delivery's own tab is gone, the page scripts must not act on another chat of
            // the site (its draft would go out instead).
            {"tab closed while another chat holds a draft", Destination::chatgpt(), gptChat + "closing?fault=close",
             "page(\"err:tab closed\")", {}, gptChat + "draft?draft=my%20own%20draft"},
        };
        // clang-format on
        for (const Case& c : cases)
            for (const QString& url : {c.alsoOpen, c.target})
                if (!url.isEmpty()) QVERIFY2(browser_->openTab(url), qPrintable(url));
        std::list<StartedTask<void>> tasks;
        for (const Case& c : cases)
            tasks.push_back(deliver({QStringLiteral("Case: ") + c.name,
                                     {shots_.at(1)},
                                     c.destination,
                                     Browser::chrome,
                                     ChatTarget{c.name, c.target}}));
        auto task = tasks.begin();
        for (const Case& c : cases) {
            QVERIFY2(AssistantBrowser::waitUntil([&] { return task->done(); }, 60000), qPrintable(c.name));
            QCOMPARE(outcomeOf(*task++), c.outcome);
            // Only a delivery that was sent left anything with the site, and only once.
            QStringList vias;
            for (const FixtureSite::Arrival& a : browser_->site().arrived())
                if (a.text == QStringLiteral("Case: ") + c.name)
                    vias << a.via + QString::number(a.images.size());
            QCOMPARE(vias, c.outcome == QLatin1String("sent") ? QStringList{c.via + "1"} : QStringList());
        }
    }
};

QTEST_GUILESS_MAIN(TestDelivery)
#include "tst_delivery.moc"
