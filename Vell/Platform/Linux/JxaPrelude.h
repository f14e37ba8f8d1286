// The scripting object model the browser programs are written against,
// in JavaScript, evaluated before each program.
#pragma once

#include <QString>

namespace JxaPrelude {

// Defines the globals `Application` and `delay` on top of the native object
// `__host` (a JxaHost), which it takes and removes from the global object.
//
// Application("Google Chrome") answers the browser's scripting terms:
// app.windows (callable, indexable, .length, and bulk: app.windows.tabs.url()
// gives one list per window), window.tabs / activeTab / currentTab /
// activeTabIndex (1-based, settable) / index (settable to 1) / name / id,
// tab.url (settable) / title / name / id, tab.execute({javascript}),
// app.doJavaScript(code, {in: tab}), app.Tab({url}) with window.tabs.push(),
// app.activate(). Every reference is a callable specifier: calling it reads
// the value. Windows and tabs come from one snapshot, read on first use and
// read again only after something changed them.
QString text();

} // namespace JxaPrelude
