#include "OsascriptRunner.h"

#include "Log.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTextBoundaryFinder>
#include <QUuid>

#include <coroutine>
#include <memory>
#include <stdexcept>

namespace {

// Resumes once the process has finished or has failed to start. The resumption
// is posted, so the coroutine never continues (and never destroys the process)
// from inside one of the process's own signals.
class ProcessEnd {
public:
    explicit ProcessEnd(QProcess& process) : process_(process) {}

    bool await_ready() const { return process_.state() == QProcess::NotRunning; }
    void await_suspend(std::coroutine_handle<> handle)
    {
        const auto resume = [this, handle] {
            QObject::disconnect(finished_);
            QObject::disconnect(failed_);
            QMetaObject::invokeMethod(
                &process_, [handle] { handle.resume(); }, Qt::QueuedConnection);
        };
        finished_ = QObject::connect(&process_, &QProcess::finished, &process_, resume);
        failed_ = QObject::connect(&process_, &QProcess::errorOccurred, &process_,
                                   [resume](QProcess::ProcessError error) {
                                       if (error == QProcess::FailedToStart) resume();
                                   });
    }
    void await_resume() const {}

private:
    QProcess& process_;
    QMetaObject::Connection finished_;
    QMetaObject::Connection failed_;
};

// The last `count` characters, never starting inside one.
QString lastCharacters(const QString& text, int count)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.toEnd();
    qsizetype start = text.size();
    for (int n = 0; n < count; ++n) {
        const qsizetype previous = graphemes.toPreviousBoundary();
        if (previous < 0) break;
        start = previous;
    }
    return text.mid(start);
}

void writeProgram(const QString& path, const QString& program)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(program.toUtf8()) < 0 || !file.commit())
        throw std::runtime_error(("could not write " + path + ": " + file.errorString()).toStdString());
}

} // namespace

OsascriptRunner::OsascriptRunner(Scheduler& scheduler, QString executable, QString tempFolder)
    : scheduler_(scheduler), executable_(std::move(executable)),
      tempFolder_(tempFolder.isEmpty() ? QDir::tempPath() : std::move(tempFolder))
{
}

DeliveryError OsascriptRunner::classify(const QString& standardError, Browser browser)
{
    const auto has = [&](const char* text) { return standardError.contains(QLatin1String(text)); };
    if (has("Allow JavaScript from Apple Events")) return DeliveryError::jsOff(browser);
    if (has("JavaScript through AppleScript is turned off")) return DeliveryError::jsOff(browser);
    if (has("-1743")) return DeliveryError::automationDenied(browser);
    if (has("Not authorized")) return DeliveryError::automationDenied(browser);
    if (has("-1712")) return DeliveryError::timedOut(browser);
    return DeliveryError::page(lastCharacters(standardError.trimmed(), 120));
}

QCoro::Task<QString> OsascriptRunner::run(const QString& programText, Browser browser,
                                          std::chrono::milliseconds timeout)
{
    // Copied before the first suspension: the caller's string need not outlive the call.
    const QString program = programText;
    const QString path =
        QDir(tempFolder_)
            .filePath(QStringLiteral("vell-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                      QStringLiteral(".js"));
    const auto removeProgram = qScopeGuard([path] { QFile::remove(path); });
    writeProgram(path, program);

    QProcess process;
    process.setProgram(executable_);
    process.setArguments({QStringLiteral("-l"), QStringLiteral("JavaScript"), path});
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());

    // Both jobs only ever run on this thread, like the reader, so a plain flag will do.
    auto timedOut = std::make_shared<bool>(false);
    JobHandle killJob;
    JobHandle limitJob = scheduler_.schedule(timeout, [this, &process, timedOut, &killJob] {
        if (process.state() == QProcess::NotRunning) return;
        *timedOut = true;
        process.terminate();
        killJob = scheduler_.schedule(killGrace, [&process] {
            if (process.state() != QProcess::NotRunning) process.kill();
        });
    });

    process.start(QIODevice::ReadOnly);
    co_await ProcessEnd(process);
    limitJob->cancel();
    if (killJob) killJob->cancel();

    if (process.error() == QProcess::FailedToStart)
        throw std::runtime_error(
            ("could not start " + executable_ + ": " + process.errorString()).toStdString());

    const QString standardOutput = QString::fromUtf8(process.readAllStandardOutput());
    const QString standardError = QString::fromUtf8(process.readAllStandardError());

    if (*timedOut) {
        Log::write(QStringLiteral("osascript: no answer after ") + QString::number(timeout.count() / 1000) +
                   QStringLiteral("s"));
        throw DeliveryError::timedOut(browser);
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        co_return standardOutput.trimmed();

    Log::write(QStringLiteral("osascript: ") + standardError.trimmed());
    throw classify(standardError, browser);
}
