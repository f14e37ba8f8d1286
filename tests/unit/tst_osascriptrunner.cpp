// The process runner against a stand-in executable: a shell script that
// checks its arguments and then runs the program file itself as shell code,
// so each test's "program" decides what the process prints, how it exits or
// whether it hangs. The time limit runs on virtual time.
// Qt first: moc cannot read the standard headers Scheduler.h starts with
// unless Qt's own have been seen.
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
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

// Runs the event loop until `done` holds, for at most five seconds. Wakes on
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
                     "[ \"$#\" = 3 ] && [ \"$1\" = -l ] && [ \"$2\" = JavaScript ] || { echo \"bad "
                     "arguments: $*\" >&2; "
                     "exit 64; }\n"
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

    void returnsTheTrimmedOutput_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("output");
        QTest::newRow("padded") << "printf '  found, moved \\n\\n'"
                                << "found, moved";
        QTest::newRow("non-ASCII") << "printf 'Grüße – 日本\\n'" << QStringLiteral("Grüße – 日本");
        QTest::newRow("nothing") << "true"
                                 << "";
        QTest::newRow("error text ignored on success") << "echo ok; echo 'warning: old version' >&2"
                                                       << "ok";
        QTest::newRow("invalid UTF-8 replaced") << "printf 'a\\377b'" << QStringLiteral("a\uFFFDb");
    }

    void returnsTheTrimmedOutput()
    {
        QFETCH(QString, program);
        QFETCH(QString, output);
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        StartedTask<QString> task(runner.run(program, Browser::chrome, 30s));
        QVERIFY(settle([&] { return task.done(); }));
        QVERIFY(task.succeeded());
        QCOMPARE(task.value(), output);
    }

    void programGoesToANamedFileAsUtf8()
    {
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        const QString program =
            QStringLiteral("basename \"$3\"; dirname \"$3\"; cat \"$3\" # ünï ☃ \"quotes\"");
        StartedTask<QString> task(runner.run(program, Browser::chrome, 30s));
        QVERIFY(settle([&] { return task.done(); }));
        const QStringList lines = task.value().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QVERIFY2(
            QRegularExpression(
                QStringLiteral("^vell-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.js$"))
                .match(lines[0])
                .hasMatch(),
            qPrintable(lines[0]));
        QCOMPARE(QDir(lines[1]).canonicalPath(), QDir(temp_->path()).canonicalPath());
        QCOMPARE(lines[2], program);
    }

    void failuresAreClassifiedFromTheErrorText_data()
    {
        QTest::addColumn<QString>("standardError");
        QTest::addColumn<QString>("error"); // as rendered
        QTest::addColumn<QString>("logLine");

        QTest::newRow("setting off") << "execution error: Error: You must enable 'Allow JavaScript from "
                                        "Apple Events' in the Developer "
                                        "section of the View menu. (-1743)\n"
                                     << "jsOff(chrome)"
                                     << "osascript: execution error: Error: You must enable 'Allow "
                                        "JavaScript from Apple Events' in the "
                                        "Developer section of the View menu. (-1743)";
        QTest::newRow("setting off, other wording")
            << "Error: JavaScript through AppleScript is turned off.\n"
            << "jsOff(chrome)"
            << "osascript: Error: JavaScript through AppleScript is turned off.";
        QTest::newRow("refused, and the earlier row wins")
            << "execution error: Error: Not allowed (-1743) after waiting (-1712)"
            << "automationDenied(chrome)"
            << "osascript: execution error: Error: Not allowed (-1743) after waiting (-1712)";
        QTest::newRow("not authorized") << "  Not authorized to send Apple events to Google Chrome.  "
                                        << "automationDenied(chrome)"
                                        << "osascript: Not authorized to send Apple events to Google Chrome.";
        QTest::newRow("event timed out")
            << "execution error: Error: AppleEvent timed out. (-1712)"
            << "timedOut(chrome)"
            << "osascript: execution error: Error: AppleEvent timed out. (-1712)";
        const QString long300 = QString(180, QLatin1Char('a')) + QString(120, QLatin1Char('z'));
        QTest::newRow("unrecognised, long") << long300 + "\n"
                                            << "page(\"" + QString(120, QLatin1Char('z')) + "\")"
                                            << "osascript: " + long300;
        QTest::newRow("unrecognised, short") << "Error: Can't get object. (-1728)"
                                             << "page(\"Error: Can't get object. (-1728)\")"
                                             << "osascript: Error: Can't get object. (-1728)";
    }

    void failuresAreClassifiedFromTheErrorText()
    {
        QFETCH(QString, standardError);
        QFETCH(QString, error);
        QFETCH(QString, logLine);
        ScopedLog log;
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        const QString program = QStringLiteral("echo partial\ncat >&2 <<'END'\n") + standardError +
                                QStringLiteral("\nEND\nexit 1\n");
        StartedTask<QString> task(runner.run(program, Browser::chrome, 30s));
        QVERIFY(settle([&] { return task.done(); }));
        const auto thrown = task.error<DeliveryError>();
        QVERIFY(thrown);
        QCOMPARE(thrown->rendered(), error);
        QCOMPARE(log.messages(), QStringList{logLine});
        // The table on its own, for the browser it is given.
        QCOMPARE(OsascriptRunner::classify(standardError, Browser::safari).kind(), thrown->kind());
    }

    void aCrashIsAFailureToo()
    {
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        StartedTask<QString> task(runner.run(QStringLiteral("echo 2; kill -KILL $$"), Browser::chrome, 30s));
        QVERIFY(settle([&] { return task.done(); }));
        QCOMPARE(task.error<DeliveryError>(), DeliveryError::page(QString()));
    }

    void runPastItsLimitIsStopped_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("needsKill");
        // `exec` keeps the stand-in's process the one that is signalled; an
        // ignored TERM stays ignored across it.
        QTest::newRow("ends on terminate") << "touch \"$MARK\"; exec sleep 60" << false;
        QTest::newRow("ignores terminate") << "trap '' TERM; touch \"$MARK\"; exec sleep 60" << true;
    }

    void runPastItsLimitIsStopped()
    {
        QFETCH(QString, program);
        QFETCH(bool, needsKill);
        ScopedLog log;
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        const QString mark = bin_->filePath(QStringLiteral("started"));
        QString text = program;
        text.replace(QStringLiteral("$MARK"), mark);
        StartedTask<QString> task(runner.run(text, Browser::safari, 30s));
        QVERIFY(settle([&] { return QFile::exists(mark); }));
        scheduler.advance(29.9);
        QVERIFY(!task.done());
        scheduler.advance(0.1);
        if (needsKill) scheduler.advance(OsascriptRunner::killGrace);
        QVERIFY(settle([&] { return task.done(); }));
        QCOMPARE(task.error<DeliveryError>(), DeliveryError::timedOut(Browser::safari));
        QCOMPARE(log.messages(), QStringList{QStringLiteral("osascript: no answer after 30s")});
    }

    void runsInFlightAreIndependent()
    {
        VirtualScheduler scheduler;
        OsascriptRunner runner(scheduler, standIn_, temp_->path());
        const QString gate = bin_->filePath(QStringLiteral("gate"));
        // The first run waits for a file only the second run creates.
        StartedTask<QString> first(
            runner.run(QStringLiteral("while [ ! -e '%1' ]; do sleep 0.01; done; echo first").arg(gate),
                       Browser::chrome, 30s));
        StartedTask<QString> second(
            runner.run(QStringLiteral("echo second; touch '%1'; exit 0").arg(gate), Browser::chrome, 30s));
        QVERIFY(settle([&] { return first.done() && second.done(); }));
        QCOMPARE(first.value(), QStringLiteral("first"));
        QCOMPARE(second.value(), QStringLiteral("second"));
    }

    void systemFailuresAreReported_data()
    {
        QTest::addColumn<bool>("missingExecutable");
        QTest::addColumn<QString>("message");
        QTest::newRow("runner missing") << true << "could not start";
        QTest::newRow("folder missing") << false << "could not write";
    }

    void systemFailuresAreReported()
    {
        QFETCH(bool, missingExecutable);
        QFETCH(QString, message);
        ScopedLog log;
        VirtualScheduler scheduler;
        OsascriptRunner runner(
            scheduler, missingExecutable ? bin_->filePath(QStringLiteral("none")) : standIn_,
            missingExecutable ? temp_->path() : temp_->filePath(QStringLiteral("gone/deeper")));
        StartedTask<QString> task(runner.run(QStringLiteral("echo never"), Browser::chrome, 30s));
        QVERIFY(settle([&] { return task.done(); }));
        const auto thrown = task.error<std::runtime_error>();
        QVERIFY(thrown);
        QVERIFY2(QString::fromUtf8(thrown->what()).startsWith(message), thrown->what());
        QVERIFY(!task.error<DeliveryError>());
        QCOMPARE(scheduler.pendingCount(), 0);
    }

private:
    std::unique_ptr<QTemporaryDir> bin_;
    std::unique_ptr<QTemporaryDir> temp_;
    QString standIn_;
};

QTEST_GUILESS_MAIN(TestOsascriptRunner)
#include "tst_osascriptrunner.moc"
