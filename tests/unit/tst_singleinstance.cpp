// One copy per user over a real local socket in a temporary directory.
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using Claim = SingleInstance::Claim;

namespace {

// A second process for the same-instant test: claims, says which it got, and keeps its
// socket until its standard input closes.
int claimChild(const QString& socketPath)
{
    SingleInstance instance(socketPath);
    const Claim claim = instance.claim({QStringLiteral("vell")}, [] {});
    ::write(STDOUT_FILENO, claim == Claim::first ? "first\n" : "deferred\n", claim == Claim::first ? 6 : 9);
    char buffer[16];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

// The file a crashed copy leaves: a bound socket nobody listens on.
bool leaveDeadSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    qstrncpy(address.sun_path, native.constData(), sizeof address.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound && QFileInfo::exists(path);
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString path() const { return dir_->filePath(QLatin1String(SingleInstance::showName)); }

private Q_SLOTS:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir_.reset(); }

    // A crashed copy's socket is taken over; then strangers' lines are ignored and
    // each plain launch defers to the running copy, which shows.
    void runningCopyTakesOverAndShowsOnLaunch()
    {
        QVERIFY(leaveDeadSocket(path()));
        int shows = 0;
        SingleInstance running(path());
        QCOMPARE(running.claim({QStringLiteral("vell")}, [&] { ++shows; }), Claim::first);
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

        for (int launch = 1; launch <= 2; ++launch) {
            SingleInstance second(path());
            QCOMPARE(second.claim({QStringLiteral("vell"), QStringLiteral("--settings")}, [] {}),
                     Claim::deferred);
            QVERIFY(!second.listening());
            QTRY_COMPARE(shows, launch);
        }
    }

    // Alone, a tool about to exit must not collect a launch's show request; a demo
    // stays running as the application, so it does take the name.
    void toolModesAlone_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("listens");
        QTest::newRow("demo") << QStringList{"vell", "--demo"} << true;
        QTest::newRow("list chats") << QStringList{"vell", "--list-chats"} << false;
    }
    void toolModesAlone()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, listens);
        SingleInstance tool(path());
        QCOMPARE(tool.claim(arguments, [] {}), Claim::first);
        QCOMPARE(tool.listening(), listens);
        SingleInstance later(path());
        QCOMPARE(later.claim({QStringLiteral("vell")}, [] {}), listens ? Claim::deferred : Claim::first);
    }

    void launchesAtTheSameInstantHaveOneFirst()
    {
        QList<QProcess*> launches;
        for (int i = 0; i < 4; ++i) {
            auto* process = new QProcess(this);
            process->start(QCoreApplication::applicationFilePath(),
                           {QStringLiteral("--claim-child"), path()});
            launches << process;
        }
        int firsts = 0;
        for (QProcess* process : launches) {
            QVERIFY(process->waitForStarted(5000));
            QVERIFY(process->canReadLine() || process->waitForReadyRead(10000));
            firsts += process->readLine() == "first\n" ? 1 : 0;
        }
        for (QProcess* process : launches) {
            process->closeWriteChannel();
            QVERIFY(process->waitForFinished(5000));
            delete process;
        }
        QCOMPARE(firsts, 1);
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
    if (argc == 3 && qstrcmp(argv[1], "--claim-child") == 0) {
        QCoreApplication app(argc, argv);
        return claimChild(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
