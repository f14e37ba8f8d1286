// The browser programs as Vell's callers send them to a script runner, for
// tests and benchmarks of the runner: the assembly ("function run() {",
// header, constants, body, "}"), the tab finder and the bodies of the
// operations, in their Chrome form. Values are written with a plain JSON
// encoder, which leaves U+2028 and U+2029 raw, so runners see those too.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace ChromePrograms {

using Constants = QList<QPair<QString, QString>>;

// `value` as a JSON string literal.
QString lit(const QString& value);
QString assemble(const QString& body, const QString& host, const QString& prefer = {},
                 const Constants& extra = {});

// pick() and pickSlow(), ending with a line break.
QString pickJS();
// Runs CODE in the tab pick() finds; "err:tab closed" without one.
QString jsBody();
// Finds, moves or opens the assistant tab for DEST.
QString ensureBody();
// Open assistant tabs and the recents of the page (CODE, PATH).
QString listChatsBody();
QString listChatsPageScript(const QString& chatPath);
// 1+1 in the assistant's tab.
QString probeBody();
// Brings the window holding an assistant tab to the front.
QString frontWindowBody();

} // namespace ChromePrograms
