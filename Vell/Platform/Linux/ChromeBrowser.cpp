#include "ChromeBrowser.h"

#include "CdpTabDriver.h"
#include "X11WindowStacking.h"

#include <QDir>

namespace {

DevToolsLink::Options linkOptions(const ChromeBrowser::Options& options)
{
    DevToolsLink::Options link;
    link.userDataDirs = options.extraUserDataDirs + link.userDataDirs;
    link.browserProcessRunning = options.browserProcessRunning;
    return link;
}

} // namespace

ChromeBrowser::Options ChromeBrowser::fromEnvironment()
{
    Options options;
    const QString dirs = qEnvironmentVariable("VELL_CHROME_USER_DATA_DIRS");
    options.extraUserDataDirs = dirs.split(QDir::listSeparator(), Qt::SkipEmptyParts);
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) options.stacking = std::make_shared<X11WindowStacking>();
    return options;
}

ChromeBrowser::ChromeBrowser(Scheduler& scheduler, Options options)
    : link_(linkOptions(options)), apps_(link_, options.launcher), automation_(link_),
      runner_(CdpTabDriver::factory(link_, options.stacking), scheduler),
      service_(runner_, apps_, automation_, scheduler)
{
}
