// What the clipboard watcher turns into attachments and when, and the files our own writes leave.
#include "ClipboardWatch.h"
#include "FakeSystemClipboard.h"
#include "VirtualScheduler.h"

#include <QFileInfo>
#include <QTest>
#include <QUrl>

namespace {

std::unique_ptr<QMimeData> passwordCopy()
{
    auto data = std::make_unique<QMimeData>();
    data->setText(QStringLiteral("hunter2"));
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
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

        rig.watch.setLive(false);
        rig.clipboard.copyText(QStringLiteral("after"));
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
        QTest::addColumn<bool>("taken");
        QTest::newRow("19 s before") << 19.0 << true;
        QTest::newRow("exactly 20 s before") << 20.0 << false;
    }
    void recentCopyAtBegin()
    {
        QFETCH(double, secondsBefore);
        QFETCH(bool, taken);
        Rig rig;
        rig.scheduler.advance(100.0);
        rig.clipboard.copyText(QStringLiteral("recent"));
        // The poll sees it at once; then the rest of the time passes.
        rig.scheduler.advance(0.25 + secondsBefore);
        rig.watch.begin(true);
        QCOMPARE(rig.clips.size(), taken ? 1 : 0);
    }

    void concealedCopiesAreSkipped()
    {
        Rig live;
        live.watch.begin(false);
        live.scheduler.advance(1.0);
        live.clipboard.copy(passwordCopy());
        live.scheduler.advance(0.25);
        QVERIFY(live.clips.isEmpty());
        // Skipped, but the change was seen.
        QCOMPARE(live.watch.lastChange(), std::optional(live.scheduler.now()));

        // A concealed copy made just before a session is not taken in either.
        Rig recent;
        recent.clipboard.copy(passwordCopy());
        recent.scheduler.advance(1.0);
        recent.watch.begin(true);
        QVERIFY(recent.clips.isEmpty());
    }

    void imagesAreReducedAndTextWins()
    {
        Rig rig;
        rig.watch.begin(false);
        QImage large(3000, 2000, QImage::Format_RGB32);
        large.fill(QColor(20, 160, 90));
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl(QStringLiteral("https://example.com/a.png"))}); // an address is not text
        data->setImageData(large);
        rig.clipboard.copy(std::move(data));
        rig.scheduler.advance(0.25);
        QCOMPARE(rig.clips.size(), 1);
        QVERIFY(rig.clips.at(0).isShot());
        QCOMPARE(rig.clips.at(0).image.size(), large.size()); // kept as read, for display
        QCOMPARE(QImage::fromData(rig.clips.at(0).jpeg, "JPEG").size(), QSize(1500, 1000));

        data = std::make_unique<QMimeData>();
        data->setText(QStringLiteral("caption"));
        data->setImageData(large);
        rig.clipboard.copy(std::move(data));
        rig.scheduler.advance(0.25);
        QCOMPARE(rig.clips.size(), 2);
        QCOMPARE(rig.clips.at(1).text, QStringLiteral("caption"));
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
        QCOMPARE(rig.clipboard.content->data(QStringLiteral("image/jpeg")), second);
    }

    void ownWritesAreNotTakenAsCopies()
    {
        Rig rig;
        rig.watch.setAllOwn(QStringLiteral("failed message"), {});
        rig.scheduler.advance(1.0);
        // A session opened right after does not pick up its own failed message.
        rig.watch.begin(true);
        rig.scheduler.advance(1.0);
        QVERIFY(rig.clips.isEmpty());

        rig.clipboard.copyText(QStringLiteral("next copy"));
        rig.scheduler.advance(0.25);
        QCOMPARE(rig.clips.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestClipboardWatch)
#include "tst_clipboardwatch.moc"
