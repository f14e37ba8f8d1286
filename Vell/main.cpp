#include "ChromeBrowser.h"
#include "DesktopApps.h"
#include "Prefs.h"
#include "Scheduler.h"
#include "ToolModes.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

ToolModes::Console terminal()
{
    return {[](const QString& line) { QTextStream(stdout) << line << '\n'; },
            [](const QString& line) { QTextStream(stderr) << line << '\n'; },
            [] {
                QFile in;
                return in.open(stdin, QIODevice::ReadOnly) ? in.readAll() : QByteArray();
            }};
}

QCoro::Task<void> runTool(QStringList arguments, Scheduler& scheduler, ChromeBrowser& browser)
{
    const Prefs& prefs = Prefs::shared();
    const std::optional<int> status =
        co_await ToolModes::run(arguments, browser.access(), scheduler,
                                Browsers::fromPreference(prefs.browserID()), prefs.destination(), terminal());
    QCoreApplication::exit(status.value_or(0));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vell"));
    Prefs::setSharedInstalledApps([] { return std::make_unique<DesktopApps>(); });

    // The tool modes need no window and run beside a running copy.
    const QStringList arguments = QCoreApplication::arguments();
    if (ToolModes::requested(arguments) == ToolModes::Mode::none) {
        QTextStream(stderr) << "Vell: the desktop application is not assembled yet; "
                               "try --send, --list-chats or --automation-status.\n";
        return 0;
    }
    // Both live until the process ends: a delivery that ran out of time may still be under way.
    MainScheduler scheduler;
    ChromeBrowser browser(scheduler, ChromeBrowser::fromEnvironment());
    QTimer::singleShot(0, &app, [&] { runTool(arguments, scheduler, browser); });
    return app.exec();
}
