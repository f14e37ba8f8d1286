// The process runner against a stand-in executable: a shell script that checks
// its arguments and then runs the program file itself as shell code, so each
// test's "program" decides what the process prints, how it exits or whether it
// hangs. The time limit runs on virtual time. This runner only drives macOS
// browsers; one success, one failure and one kill keep it honest.
// Qt first: moc cannot read the standard headers Scheduler.h starts with
// unless Qt's own have been seen.
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "OsascriptRunner.h"
#include "ScopedLog.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

// Runs the event loop until `done` holds, for at most five seconds; wakes on
// every event (a process ending is one), so no test waits longer than it must.
bool settle(const std::function<bool()>& done)
{
    QTimer tick;
    tick.start(20);
    const QDeadlineTimer deadline(5000);
    QEventLoop loop;
    while (!done() && !deadline.hasExpired())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

} // namespace

class TestOsascriptRunner : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        bin_ = std::make_unique<QTemporaryDir>();
        temp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(bin_->isValid() && temp_->isValid());
        standIn_ = bin_->filePath(QStringLiteral("osascript"));
        QFile script(standIn_);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "[ \"$#\" = 3 ] && [ \"$1\" = -l ] && [ \"$2\" = JavaScript ] || "
                     "{ echo \"bad arguments: $*\" >&2; exit 64; }\n"
                     ". \"$3\"\n");
        script.close();
        QVERIFY(
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    // Every run, whatever its end, leaves no program file behind.
    void cleanup()
    {
        const QStringList left = QDir(temp_->path()).entryList({QStringLiteral("vell-*")}, QDir::Files);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    }

    // The program travels as UTF-8 in a file of its own; the answer comes back trimmed.
    void returnsTheTrimmedOutput()
    {
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        const QString program = QStringLiteral("printf '  '; cat \"$3\"; echo warning >&2 # Grüße ☃");
        StartedTask<QString> task(runner.run(program, Browser::chrome, 30s));
        QVERIFY(settle([&] { return task.done(); }));
        QCOMPARE(task.value(), program);
    }

    // What the process said on failure is classified (the texts are ScriptFailure's) and logged.
    void failuresAreClassifiedFromTheErrorText()
    {
        const QString standardError =
            QStringLiteral("execution error: Error: Not allowed (-1743) after waiting (-1712)");
        const QString error = QStringLiteral("automationDenied(chrome)");
        ScopedLog log;
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        const QString program = "echo partial\ncat >&2 <<'END'\n  " + standardError + "  \nEND\nexit 1\n";
        StartedTask<QString> task(runner.run(program, Browser::chrome, 30s));
        QVERIFY(settle([&] { return task.done(); }));
        QCOMPARE(task.error<DeliveryError>().value_or(DeliveryError::notSent()).rendered(), error);
        QCOMPARE(log.messages(), QStringList{"osascript: " + standardError});
    }

    // `exec` keeps the stand-in's process the one signalled; an ignored TERM stays
    // ignored across it, so only the kill after the grace period ends it.
    void runPastItsLimitIsKilled()
    {
        ScopedLog log;
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        const QString mark = bin_->filePath(QStringLiteral("started"));
        StartedTask<QString> task(
            runner.run("trap '' TERM; touch '" + mark + "'; exec sleep 60", Browser::safari, 30s));
        QVERIFY(settle([&] { return QFile::exists(mark); }));
        scheduler.advance(29.9);
        QVERIFY(!task.done());
        scheduler.advance(0.1);
        scheduler.advance(OsascriptRunner::killGrace);
        QVERIFY(settle([&] { return task.done(); }));
        QCOMPARE(task.error<DeliveryError>(), DeliveryError::timedOut(Browser::safari));
        QCOMPARE(log.messages(), QStringList{QStringLiteral("osascript: no answer after 30s")});
    }

private:
    std::unique_ptr<QTemporaryDir> bin_;
    std::unique_ptr<QTemporaryDir> temp_;
    QString standIn_;
};

QTEST_GUILESS_MAIN(TestOsascriptRunner)
#include "tst_osascriptrunner.moc"
