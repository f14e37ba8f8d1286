// The staged session that "--demo" shows in the real HUD: a made-up question
// with two attachments and a few chats, so the HUD can be looked at (and
// photographed) in any phase without capturing, listening or sending.
#pragma once

#include "Prefs.h"
#include "SessionModel.h"

#include <QImage>
#include <QStringList>

#include <optional>

namespace Demo {

// The phase asked for by "--state": sent, sending, failed, or live for anything else.
Phase requestedPhase(const QStringList& arguments);
// The file named after "--snap", when one follows it.
std::optional<QString> snapPath(const QStringList& arguments);
// The placeholder screenshot: a 160 x 100 drawing of a window with two bars.
QImage placeholderShot();
// Writes the staged session into the model, in the order a real session would.
void stage(SessionModel& model, const Prefs& prefs, const QStringList& arguments);

} // namespace Demo
