// Clipboard traffic between real X clients: what the writer offers can be read
// back by others, and what xclip copies reaches the watcher.
#include "ClipboardWatch.h"
#include "QtClipboard.h"
#include "Scheduler.h"
#include "XServer.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QUrl>

namespace {

// Stops a helper client by its PID when the test is done with it.
struct Client {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    ~Client()
    {
        if (process->state() == QProcess::NotRunning) return;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
};

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

} // namespace

class TestX11Clipboard : public QObject {
    Q_OBJECT

public:
    explicit TestX11Clipboard(XServer& server) : server_(server) {}

private:
    XServer& server_;
    QtClipboard clipboard_;
    MainScheduler scheduler_;
    std::unique_ptr<ClipboardWatch> watch_;
    QList<Item> clips_;

    // Copies with xclip, which stays in the foreground owning the selection.
    std::unique_ptr<Client> xclip(const QStringList& arguments, const QByteArray& input = {})
    {
        auto client = std::make_unique<Client>();
        client->process->setProcessEnvironment(server_.environment());
        client->process->start(
            QStringLiteral("xclip"),
            QStringList{QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-quiet")} +
                arguments);
        if (!client->process->waitForStarted(5000)) return nullptr;
        client->process->write(input);
        client->process->closeWriteChannel();
        return client;
    }

    // Reads one type of the clipboard with xclip while this process keeps
    // answering selection requests.
    QByteArray readBack(const QString& type)
    {
        QProcess p;
        p.setProcessEnvironment(server_.environment());
        p.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                          QStringLiteral("-o"), QStringLiteral("-t"), type});
        if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000)) {
            p.kill();
            p.waitForFinished(3000);
            return {};
        }
        return p.readAllStandardOutput();
    }

    bool waitForClips(int n)
    {
        return QTest::qWaitFor([&] { return clips_.size() >= n; }, 5000);
    }

private Q_SLOTS:
    void init()
    {
        clips_.clear();
        watch_ = std::make_unique<ClipboardWatch>(clipboard_, scheduler_);
        watch_->onClip = [this](const Item& item) { clips_ << item; };
        watch_->begin(false);
    }

    void cleanup() { watch_.reset(); }

    // What the writer offers is readable by other clients and is not taken as a
    // copy; what another client copies next arrives as it was copied.
    void ownWriteIsReadableAndCopiesStillArrive()
    {
        const QByteArray first = jpegOf({64, 48}, Qt::red);
        const QByteArray second = jpegOf({32, 32}, Qt::blue);
        watch_->setAllOwn(QStringLiteral("the message — ünïcode"), {first, second});
        QCOMPARE(watch_->lastCount(), clipboard_.changeCount());

        QCOMPARE(QString::fromUtf8(readBack(QStringLiteral("UTF8_STRING"))),
                 QStringLiteral("the message — ünïcode"));
        QCOMPARE(readBack(QStringLiteral("image/jpeg")), first);
        const QList<QByteArray> uris = readBack(QStringLiteral("text/uri-list")).trimmed().split('\n');
        QCOMPARE(uris.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QFile file(QUrl(QString::fromUtf8(uris.at(i).trimmed())).toLocalFile());
            QVERIFY2(file.open(QIODevice::ReadOnly), uris.at(i).constData());
            QCOMPARE(file.readAll(), i == 0 ? first : second);
        }

        QElapsedTimer timer;
        timer.start();
        const auto client = xclip({}, "  two leading blanks and one trailing ");
        QVERIFY(client);
        QVERIFY(waitForClips(1));
        qInfo("copy to onClip: %lld ms", timer.elapsed());
        QCOMPARE(clips_.size(), 1);
        QVERIFY(clips_.at(0).isClip());
        QCOMPARE(clips_.at(0).text, QStringLiteral("  two leading blanks and one trailing "));
    }
};

int main(int argc, char* argv[])
{
    XServer server;
    if (!server.isRunning()) {
        qCritical("could not start Xvfb");
        return 1;
    }
    server.exportDisplay();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestX11Clipboard test(server);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11clipboard.moc"
