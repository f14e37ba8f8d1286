#include "AppController.h"
#include "Appearance.h"
#include "Art/Artwork.h"
#include "CaptureFirst.h"
#include "ChromeBrowser.h"
#include "ClipboardWatch.h"
#include "DesktopApps.h"
#include "DesktopPermissions.h"
#include "DesktopShell.h"
#include "Hotkey.h"
#include "Log.h"
#include "PaplaySoundPlayer.h"
#include "Permissions.h"
#include "PocketSphinxEngine.h"
#include "Prefs.h"
#include "QtAudioInput.h"
#include "QtClipboard.h"
#include "Scheduler.h"
#include "ScreenCapture.h"
#include "Shutter.h"
#include "SingleInstance.h"
#include "Theme.h"
#include "ToolModes.h"
#include "Transcriber.h"
#include "X11DesktopWatch.h"
#include "X11KeyMonitor.h"
#include "X11WindowSystem.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QQuickWindow>
#include <QSettings>
#include <QTextStream>
#include <QTimer>

namespace {

bool hasOption(const QStringList& arguments, const char* option)
{
    return arguments.contains(QLatin1String(option));
}

// "--send" always runs in the terminal. The two listings do too, unless an
// option that takes precedence over them ("--demo", "--settings") asks for
// the application; they then print what the log gets.
bool runsInTerminal(const QStringList& arguments)
{
    switch (ToolModes::requested(arguments)) {
    case ToolModes::Mode::none:
        return false;
    case ToolModes::Mode::send:
        return true;
    default:
        return !hasOption(arguments, "--demo") && !hasOption(arguments, "--settings");
    }
}

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

int runInTerminal(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vell"));
    Prefs::setSharedInstalledApps([] { return std::make_unique<DesktopApps>(); });
    // Both live until the process ends: a delivery that ran out of time may still be under way.
    MainScheduler scheduler;
    ChromeBrowser browser(scheduler, ChromeBrowser::fromEnvironment());
    QTimer::singleShot(0, &app, [&] { runTool(QCoreApplication::arguments(), scheduler, browser); });
    return app.exec();
}

// Vell's windows are X11 windows: on a Wayland desktop they go through XWayland.
void preferX11(const QStringList& arguments)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // Writing the artwork needs no screen; without one it still works.
    else if (hasOption(arguments, "--export-art") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

int runApplication(int argc, char* argv[], const QStringList& arguments)
{
    preferX11(arguments);
    // The HUD is a few flat shapes: the software renderer starts faster and
    // needs far less memory than a GL context for it.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vell"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(Artwork::appIcon());
    Prefs::setSharedInstalledApps([] { return std::make_unique<DesktopApps>(); });

    QPointer<AppController> controller;
    SingleInstance instance;
    if (instance.claim(arguments, [&] {
            if (controller) controller->reopen();
        }) == SingleInstance::Claim::deferred)
        return 0;
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"))
        Log::write(QStringLiteral("wayland session: the trigger key and screenshots see X11 windows only"));

    Theme theme(Appearance::forcedDark(arguments).value_or(Appearance::isDark(QApplication::palette())));
    MainScheduler scheduler;
    Prefs& prefs = Prefs::shared();

    X11KeyMonitor keys;
    Hotkey hotkey(
        keys, scheduler, [&prefs] { return prefs.trigger(); }, [] { return true; });
    QtAudioInput microphone;
    PocketSphinxEngine recogniser;
    Transcriber transcriber(microphone, recogniser, scheduler, hasOption(arguments, "--legacy"));
    X11WindowSystem windows;
    PaplaySoundPlayer speaker;
    Shutter shutter(speaker, [&prefs] { return prefs.shutterSound(); });
    ScreenCapture capture(windows, shutter);
    QtClipboard clipboard;
    ClipboardWatch watch(clipboard, scheduler, [&capture] { return capture.frontSource(); });
    ChromeBrowser browser(scheduler, ChromeBrowser::fromEnvironment());

    // Without a compositor a screenshot would show the HUD over the window: the HUD waits for it.
    const std::unique_ptr<X11DesktopWatch> desktop = X11DesktopWatch::forApplication();
    CaptureFirst captureFirst(capture, scheduler, [&prefs, desktop = desktop.get()] {
        return prefs.autoScreenshot() && desktop && !desktop->compositorRunning();
    });

    QSettings marks(Prefs::sharedStorePath(), QSettings::IniFormat);
    DesktopPermissions system;
    Permissions permissions(system, marks, prefs);
    DesktopShell shell(prefs, permissions, theme, arguments, &captureFirst);

    AppController sessionController(
        prefs, scheduler, {transcriber, hotkey, watch, captureFirst, browser.access(), shell}, arguments);
    controller = &sessionController;
    QTimer::singleShot(0, &sessionController, [&sessionController] { sessionController.start(); });
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (runsInTerminal(arguments)) return runInTerminal(argc, argv);
    return runApplication(argc, argv, arguments);
}
