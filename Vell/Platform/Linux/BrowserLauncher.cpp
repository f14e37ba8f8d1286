#include "BrowserLauncher.h"

#include "BrowserProcesses.h"
#include "Log.h"

#include <QProcess>
#include <QStandardPaths>

namespace {

bool startDetached(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // The browser's chatter does not belong on Vell's terminal.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace

BrowserLauncher::BrowserLauncher() : BrowserLauncher(Options{}) {}

BrowserLauncher::BrowserLauncher(Options options) : options_(std::move(options))
{
    if (!options_.runningExecutables)
        options_.runningExecutables = [] { return BrowserProcesses::runningExecutables(); };
    if (!options_.start) options_.start = &startDetached;
}

QString BrowserLauncher::program() const
{
    const QStringList running = options_.runningExecutables();
    for (const QString& exe : running)
        if (!exe.endsWith(QLatin1String(" (deleted)"))) return exe;
    for (const QString& command : options_.commands) {
        const QString found = QStandardPaths::findExecutable(command);
        if (!found.isEmpty()) return found;
    }
    return {};
}

bool BrowserLauncher::open(const QString& url) const
{
    const QString exe = program();
    if (exe.isEmpty()) {
        Log::write(QStringLiteral("launch: no Chrome or Chromium installed to open ") + url);
        return false;
    }
    if (!options_.start(exe, {url})) {
        Log::write(QStringLiteral("launch: could not start ") + exe);
        return false;
    }
    return true;
}
