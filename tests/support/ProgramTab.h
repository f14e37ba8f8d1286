// The browser programs exactly as Vell sends them, for tests and benchmarks
// of the script runners: a Chrome tab of `host` that only writes programs
// (BrowserTab::program() and the *Body() texts); its operations never run.
#pragma once

#include "BrowserTab.h"

BrowserTab programTab(const QString& host, const QString& prefer = {});
