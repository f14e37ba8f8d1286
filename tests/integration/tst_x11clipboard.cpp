// Clipboard traffic between real X clients: what the writer offers can be read
// back by others, and what xclip copies reaches the watcher.
#include "ClipboardWatch.h"
#include "QtClipboard.h"
#include "Scheduler.h"
#include "XServer.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QUrl>

namespace {

QByteArray jpegOf(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 88);
    return bytes;
}

// Runs xclip on the clipboard; reading, this process keeps answering selection requests.
bool xclip(QProcess& p, const QStringList& arguments)
{
    p.start("xclip", QStringList{"-selection", "clipboard"} + arguments);
    return p.waitForStarted(5000);
}

QByteArray readBack(const QString& type)
{
    QProcess p;
    if (!xclip(p, {"-o", "-t", type})) return {};
    // A reader still running at the deadline is killed with its QProcess.
    return QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000)
               ? p.readAllStandardOutput()
               : QByteArray();
}

} // namespace

class TestX11Clipboard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What the writer offers is readable by other clients and is not taken as a
    // copy; what another client copies next arrives as it was copied.
    void ownWriteIsReadableAndCopiesStillArrive()
    {
        QtClipboard clipboard;
        MainScheduler scheduler;
        ClipboardWatch watch(clipboard, scheduler);
        QList<Item> clips;
        watch.onClip = [&](const Item& item) { clips << item; };
        watch.begin(false);

        const QByteArray first = jpegOf({64, 48}, Qt::red), second = jpegOf({32, 32}, Qt::blue);
        watch.setAllOwn("the message — ünïcode", {first, second});
        QCOMPARE(watch.lastCount(), clipboard.changeCount());
        QCOMPARE(QString::fromUtf8(readBack("UTF8_STRING")), "the message — ünïcode");
        QCOMPARE(readBack("image/jpeg"), first);
        QList<QByteArray> files;
        for (const QByteArray& uri : readBack("text/uri-list").trimmed().split('\n')) {
            QFile file(QUrl(QString::fromUtf8(uri.trimmed())).toLocalFile());
            files << (file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable " + uri + ">");
        }
        QCOMPARE(files, (QList<QByteArray>{first, second}));

        QElapsedTimer timer;
        timer.start();
        QProcess copier; // stays in the foreground owning the selection; killed with its QProcess
        QVERIFY(xclip(copier, {"-quiet"}));
        copier.write("  two leading blanks and one trailing ");
        copier.closeWriteChannel();
        QVERIFY(QTest::qWaitFor([&] { return !clips.isEmpty(); }, 5000));
        qInfo("copy to onClip: %lld ms", timer.elapsed());
        QCOMPARE(clips.size(), 1);
        QVERIFY(clips.at(0).isClip());
        QCOMPARE(clips.at(0).text, "  two leading blanks and one trailing ");
    }
};

int main(int argc, char* argv[])
{
    XServer server;
    if (!server.isRunning()) return 1;
    server.exportDisplay();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestX11Clipboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11clipboard.moc"
