// A picture of the HUD panel for "--demo --snap <path>".
#pragma once

#include <QString>

class QQuickWindow;

namespace DemoSnap {

// Renders the panel's content (the window's own pixels, not the screen
// behind it) to a PNG at `path`. Never throws: the outcome is a log line.
void save(QQuickWindow& panel, const QString& path);

} // namespace DemoSnap
