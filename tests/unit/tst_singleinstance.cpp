// One copy per user over a real local socket in a temporary directory.
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using Claim = SingleInstance::Claim;

namespace {

// A launch in its own process: claims, says which it got, and keeps its socket until killed.
int claimChild(const QString& socketPath)
{
    SingleInstance instance(socketPath);
    const bool first = instance.claim({"vell"}, [] {}) == Claim::first;
    ::write(STDOUT_FILENO, first ? "first\n" : "deferred\n", first ? 6 : 9);
    char buffer[16];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString path() const { return dir_->filePath(QLatin1String(SingleInstance::showName)); }

private Q_SLOTS:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir_.reset(); }

    // Of launches at the same instant one is first; killed, it leaves its socket, which
    // the next copy takes over. Strangers' lines are ignored, a plain launch defers and
    // the running copy shows; a tool, about to exit, never collects that request.
    void oneFirstTakesOverAndShowsOnLaunch()
    {
        std::array<QProcess, 4> launches;
        for (QProcess& process : launches)
            process.start(QCoreApplication::applicationFilePath(), {"--claim-child", path()});
        int firsts = 0;
        for (QProcess& process : launches) {
            QVERIFY(process.waitForStarted(5000) &&
                    (process.canReadLine() || process.waitForReadyRead(10000)));
            firsts += process.readLine() == "first\n" ? 1 : 0;
        }
        QCOMPARE(firsts, 1);
        for (QProcess& process : launches) {
            process.kill();
            QVERIFY(process.waitForFinished(5000));
        }
        QVERIFY(QFileInfo::exists(path()));

        SingleInstance tool(path());
        QCOMPARE(tool.claim({"vell", "--list-chats"}, [] {}), Claim::first);
        QVERIFY(!tool.listening());
        int shows = 0;
        SingleInstance running(path());
        QCOMPARE(running.claim({"vell"}, [&] { ++shows; }), Claim::first);
        QVERIFY(running.listening());
        // Nobody but the owner may connect.
        QCOMPARE(QFileInfo(path()).permissions() & (QFile::ReadGroup | QFile::WriteOther),
                 QFile::Permissions());

        QLocalSocket stranger;
        stranger.connectToServer(path());
        QVERIFY(stranger.waitForConnected(1000));
        stranger.write("shown\n" + QByteArray(4096, 'x') + "\nshow\n");
        QVERIFY(stranger.waitForBytesWritten(1000));
        QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(shows, 0);
        SingleInstance second(path());
        QCOMPARE(second.claim({"vell", "--settings"}, [] {}), Claim::deferred);
        QTRY_COMPARE(shows, 1);
    }

    // The directory used without a runtime directory: a symbolic link is refused,
    // a loose one is made private.
    void fallbackDirectoryIsPrivate()
    {
        const QString dir = dir_->filePath(QStringLiteral("vell-%1").arg(getuid()));
        const QByteArray native = QFile::encodeName(dir);
        QVERIFY(QDir().mkpath(dir_->filePath("elsewhere")));
        QVERIFY(QFile::link(dir_->filePath("elsewhere"), dir));
        QCOMPARE(SingleInstance::socketPathIn(QString(), dir_->path()), QString());

        QVERIFY(QFile::remove(dir));
        QCOMPARE(::mkdir(native.constData(), 0755), 0);
        QCOMPARE(::chmod(native.constData(), 0755), 0);
        QCOMPARE(SingleInstance::socketPathIn(QString(), dir_->path()),
                 dir + QStringLiteral("/com.vell.mac.show"));
        struct stat info {};
        QCOMPARE(::lstat(native.constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--claim-child") == 0)
        return claimChild(QString::fromLocal8Bit(argv[2]));
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
