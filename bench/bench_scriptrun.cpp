// How long one browser program takes on an open connection: the tab finder
// plus one page evaluation, as every delivery poll runs it. Starts its own
// headless Chromium and prints the median and spread of many runs.
//
//     bench_scriptrun [runs]
#include "CdpTabDriver.h"
#include "Chromium.h"
#include "DevToolsLink.h"
#include "JxaRunner.h"
#include "PageServer.h"
#include "ProgramTab.h"
#include "Scheduler.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QCoro/QCoroTimer>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

QTextStream out(stdout);

QString runOnce(JxaRunner& runner, const QString& program)
{
    try {
        return QCoro::waitFor(runner.run(program, Browser::chrome, 30s));
    } catch (const DeliveryError& e) {
        return QStringLiteral("<") + e.rendered() + QLatin1Char('>');
    }
}

void measure(JxaRunner& runner, const QString& name, const QString& program, const QString& expected,
             int runs)
{
    runOnce(runner, program); // warm-up
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QString answer = runOnce(runner, program);
        ms << timer.nsecsElapsed() / 1e6;
        if (answer != expected) {
            out << name << ": unexpected answer " << answer << Qt::endl;
            return;
        }
    }
    std::sort(ms.begin(), ms.end());
    out << qSetFieldWidth(34) << Qt::left << name << qSetFieldWidth(0)
        << QStringLiteral(" median %1 ms   p90 %2 ms   min %3 ms   max %4 ms   (%5 runs)")
               .arg(ms.at(ms.size() / 2), 0, 'f', 1)
               .arg(ms.at(ms.size() * 9 / 10), 0, 'f', 1)
               .arg(ms.first(), 0, 'f', 1)
               .arg(ms.last(), 0, 'f', 1)
               .arg(runs)
        << Qt::endl;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(5, QString::fromLatin1(argv[1]).toInt()) : 50;

    PageServer pages;
    Chromium chromium({.urls = {pages.url(QStringLiteral("/chat/1")).toString()}});
    if (!chromium.isRunning()) {
        out << "chromium did not start: chromium " << chromium.arguments().join(QLatin1Char(' ')) << Qt::endl;
        return 1;
    }
    MainScheduler scheduler;
    DevToolsLink link(
        {.userDataDirs = {chromium.userDataDir()}, .browserProcessRunning = [] { return true; }});
    JxaRunner runner(CdpTabDriver::factory(link, nullptr), scheduler);
    if (QCoro::waitFor(link.connectToBrowser()) != DevToolsLink::Outcome::open) {
        out << "could not connect" << Qt::endl;
        return 1;
    }
    const BrowserTab tab = programTab(pages.host() + QStringLiteral("/chat/"));
    // Until the page is there.
    const QString title =
        tab.program(tab.jsBody(), {{QStringLiteral("CODE"), QStringLiteral("document.title")}});
    for (int i = 0; i < 200 && runOnce(runner, title) != QLatin1String("/chat/1"); ++i)
        QCoro::waitFor(QCoro::sleepFor(50ms));

    out << "headless Chromium, one window, one tab" << Qt::endl;
    measure(runner, QStringLiteral("program alone (no browser call)"),
            tab.program(QStringLiteral("return 'x'")), QStringLiteral("x"), runs);
    measure(runner, QStringLiteral("pick() only"),
            tab.program(tab.pickJS() + QStringLiteral("return pick() ? 'y' : 'n'")), QStringLiteral("y"),
            runs);
    measure(runner, QStringLiteral("pick() + one page evaluation"), title, QStringLiteral("/chat/1"), runs);
    const QString probe = tab.program(tab.probeBody());
    measure(runner, QStringLiteral("probe program"), probe, QStringLiteral("2"), runs);
    return 0;
}
