// What the clipboard watcher turns into attachments, and when: the poll, the
// recent-copy window, concealed copies, text before images, image size; and
// what the pasteboard writer puts on the clipboard.
#include "ClipboardWatch.h"
#include "FakeSystemClipboard.h"
#include "VirtualScheduler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QUrl>

namespace {

QImage filled(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(20, 160, 90));
    return image;
}

std::unique_ptr<QMimeData> textWithType(const QString& text, const QString& type, const QByteArray& value)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    data->setData(type, value);
    return data;
}

} // namespace

class TestClipboardWatch : public QObject {
    Q_OBJECT

    struct Rig {
        FakeSystemClipboard clipboard;
        VirtualScheduler scheduler;
        std::optional<ScreenCapture::Source> front =
            ScreenCapture::Source{QStringLiteral("Terminal"), QStringLiteral("~/src"), 12u};
        ClipboardWatch watch{clipboard, scheduler, [this] { return front; }};
        QList<Item> clips;

        Rig()
        {
            watch.onClip = [this](const Item& item) { clips << item; };
        }
    };

private Q_SLOTS:
    void copiesBecomeItemsOnlyWhileLive()
    {
        Rig rig;
        rig.clipboard.copyText(QStringLiteral("before"));
        rig.scheduler.advance(1.0);
        QVERIFY(rig.clips.isEmpty());
        QCOMPARE(rig.watch.lastCount(), rig.clipboard.count);
        QVERIFY(rig.watch.lastChange());

        // Two copies within one poll give one item with the second.
        rig.watch.begin(false);
        rig.scheduler.advance(0.05);
        rig.clipboard.copyText(QStringLiteral("first"));
        rig.scheduler.advance(0.1);
        rig.clipboard.copyText(QStringLiteral("during"));
        rig.scheduler.advance(0.25);
        QCOMPARE(rig.clips.size(), 1);
        QCOMPARE(rig.clips.at(0).text, QStringLiteral("during"));
        QCOMPARE(rig.clips.at(0).app, QStringLiteral("Terminal"));
        QCOMPARE(rig.clips.at(0).title, QStringLiteral("~/src"));
        QVERIFY(!rig.clips.at(0).automatic);

        rig.watch.setLive(false);
        rig.clipboard.copyText(QStringLiteral("after"));
        rig.scheduler.advance(1.0);
        QCOMPARE(rig.clips.size(), 1);

        // Resuming without a new begin: the change already seen stays seen.
        rig.watch.setLive(true);
        rig.scheduler.advance(1.0);
        QCOMPARE(rig.clips.size(), 1);
    }

    void idlePollingReadsOnlyTheCounter()
    {
        Rig rig;
        rig.scheduler.advance(60.0);
        rig.watch.begin(true);
        rig.scheduler.advance(60.0);
        QCOMPARE(rig.clipboard.contentReads, 0);
        // Changes while not live update the bookkeeping without reading content.
        rig.watch.setLive(false);
        rig.clipboard.copyText(QStringLiteral("secret"));
        rig.scheduler.advance(1.0);
        QCOMPARE(rig.clipboard.contentReads, 0);
        // One pending poll at a time: the timer never piles up.
        QCOMPARE(rig.scheduler.pendingCount(), 1);
    }

    void recentCopyAtBegin_data()
    {
        QTest::addColumn<double>("secondsBefore");
        QTest::addColumn<bool>("includeRecent");
        QTest::addColumn<bool>("taken");
        QTest::newRow("19 s before") << 19.0 << true << true;
        QTest::newRow("exactly 20 s before") << 20.0 << true << false;
        QTest::newRow("19 s before, setting off") << 19.0 << false << false;
    }

    void recentCopyAtBegin()
    {
        QFETCH(double, secondsBefore);
        QFETCH(bool, includeRecent);
        QFETCH(bool, taken);
        Rig rig;
        rig.scheduler.advance(100.0);
        rig.clipboard.copyText(QStringLiteral("recent"));
        // The poll sees it at once; then the rest of the time passes.
        rig.scheduler.advance(0.25);
        QCOMPARE(rig.watch.lastChange(), std::optional(rig.scheduler.now()));
        rig.scheduler.advance(secondsBefore);
        rig.watch.begin(includeRecent);
        QCOMPARE(rig.clips.size(), taken ? 1 : 0);
        if (taken) QCOMPARE(rig.clips.at(0).text, QStringLiteral("recent"));
        QVERIFY(rig.watch.live());
    }

    void concealedCopies_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("skipped");
        QTest::newRow("concealed") << "org.nspasteboard.ConcealedType" << QByteArray() << true;
        QTest::newRow("KDE secret hint") << "x-kde-passwordManagerHint" << QByteArray("secret") << true;
        QTest::newRow("KDE hint, not a secret") << "x-kde-passwordManagerHint" << QByteArray("none") << false;
    }

    void concealedCopies()
    {
        QFETCH(QString, type);
        QFETCH(QByteArray, value);
        QFETCH(bool, skipped);

        Rig live;
        live.watch.begin(false);
        live.scheduler.advance(1.0);
        live.clipboard.copy(textWithType(QStringLiteral("hunter2"), type, value));
        live.scheduler.advance(0.25);
        QCOMPARE(live.clips.size(), skipped ? 0 : 1);
        // Skipped or not, the change was seen.
        QCOMPARE(live.watch.lastChange(), std::optional(live.scheduler.now()));
        QCOMPARE(live.watch.lastCount(), live.clipboard.count);

        // A concealed copy made just before a session is not taken in either.
        Rig recent;
        recent.clipboard.copy(textWithType(QStringLiteral("hunter2"), type, value));
        recent.scheduler.advance(1.0);
        recent.watch.begin(true);
        QCOMPARE(recent.clips.size(), skipped ? 0 : 1);
    }

    void whatACopyYields_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QString>("expectedText"); // a clip with this text
        QTest::addColumn<QSize>("expectedJpeg");   // else a shot of this size, else nothing
        QTest::newRow("only blanks") << " \t\n  " << QSize() << "" << QSize();
        QTest::newRow("text wins over an image") << "caption" << QSize(300, 200) << "caption" << QSize();
        QTest::newRow("blank text with an image") << "   " << QSize(300, 200) << "" << QSize(300, 200);
        QTest::newRow("large image reduced") << "" << QSize(3000, 2000) << "" << QSize(1500, 1000);
        QTest::newRow("image with its address")
            << "https://example.com/a.png" << QSize(300, 200) << "" << QSize(300, 200);
    }

    void whatACopyYields()
    {
        QFETCH(QString, text);
        QFETCH(QSize, image);
        QFETCH(QString, expectedText);
        QFETCH(QSize, expectedJpeg);
        Rig rig;
        rig.front.reset();
        rig.watch.begin(false);
        auto data = std::make_unique<QMimeData>();
        if (text.startsWith(QLatin1String("https:")))
            data->setUrls({QUrl(text)}); // a list of addresses, not text
        else if (!text.isEmpty())
            data->setText(text);
        if (image.isValid()) data->setImageData(filled(image.width(), image.height()));
        rig.clipboard.copy(std::move(data));
        rig.scheduler.advance(0.25);

        if (!expectedText.isEmpty()) {
            QCOMPARE(rig.clips.size(), 1);
            QVERIFY(rig.clips.at(0).isClip());
            QCOMPARE(rig.clips.at(0).text, expectedText);
        } else if (expectedJpeg.isValid()) {
            QCOMPARE(rig.clips.size(), 1);
            const Item& shot = rig.clips.at(0);
            QVERIFY(shot.isShot());
            QCOMPARE(shot.image.size(), image); // kept as read, for display
            QImage decoded;
            QVERIFY(decoded.loadFromData(shot.jpeg, "JPEG"));
            QCOMPARE(decoded.size(), expectedJpeg);
        } else {
            QVERIFY(rig.clips.isEmpty());
        }
        for (const Item& item : rig.clips) {
            QVERIFY(item.app.isEmpty());
            QVERIFY(item.title.isEmpty());
        }
    }

    void setAllWritesTextFirstImageAndFiles()
    {
        Rig rig;
        const QByteArray first("\xff\xd8 first picture \xff\xd9");
        const QByteArray second("\xff\xd8 second picture \xff\xd9");
        rig.watch.pasteboard().setAll(QStringLiteral("the message"), {first, second});

        // What other programs read back is checked against a real X server; here, the files.
        const QList<QUrl> urls = rig.clipboard.content->urls();
        QCOMPARE(urls.size(), 2);
        // Screenshots of the user's screen: readable by the user alone.
        const QString folder = QFileInfo(urls.at(0).toLocalFile()).absolutePath();
        QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther),
                 QFileDevice::Permissions());

        // The next content replaces the files of the previous one.
        rig.watch.pasteboard().setAll({}, {second});
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(!rig.clipboard.content->hasFormat(QStringLiteral("text/plain")));
        QCOMPARE(rig.clipboard.content->data(QStringLiteral("image/jpeg")), second);
        QCOMPARE(rig.clipboard.content->urls().size(), 1);

        rig.watch.pasteboard().setAll({}, {});
        QVERIFY(rig.clipboard.content->formats().isEmpty());
        QVERIFY(rig.watch.pasteboard().folder().isEmpty());
    }

    void ownWritesAreNotTakenAsCopies()
    {
        Rig rig;
        rig.clipboard.copyText(QStringLiteral("user's copy"));
        rig.scheduler.advance(1.0);
        QVERIFY(rig.watch.lastChange());

        rig.watch.setAllOwn(QStringLiteral("failed message"), {});
        QCOMPARE(rig.watch.lastCount(), rig.clipboard.count);
        QVERIFY(!rig.watch.lastChange());
        rig.scheduler.advance(1.0);
        // A session opened right after does not pick up its own failed message.
        rig.watch.begin(true);
        rig.scheduler.advance(1.0);
        QVERIFY(rig.clips.isEmpty());

        rig.clipboard.copyText(QStringLiteral("next copy"));
        rig.scheduler.advance(0.25);
        QCOMPARE(rig.clips.size(), 1);
        QCOMPARE(rig.clips.at(0).text, QStringLiteral("next copy"));
    }
};

QTEST_GUILESS_MAIN(TestClipboardWatch)
#include "tst_clipboardwatch.moc"
