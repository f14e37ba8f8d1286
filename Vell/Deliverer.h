// Puts one message into the assistant's page: opens the tab at the right
// chat, waits for the message box, uploads the screenshots, pastes the text,
// presses send and checks that the message left the box.
#pragma once

#include "BrowserPlatform.h"
#include "BrowserTab.h"
#include "SessionModel.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <chrono>

// The page side: scripts run in the assistant's tab through BrowserTab::js.
// Their state lives in window.__vell; they answer with short fixed words.
namespace JS {

// Message-box and send-button selectors, find() and textOf(); ends with a line break.
// Prepended to every page script except the reset and the image pieces.
QString helpers();
// "yes" when the page has a message box.
QString composerCheck();
// Starts a fresh window.__vell; "ok".
QString reset();
// Appends one piece of Base64 text to image `index`; "ok".
QString imagePiece(int index, const QString& base64Piece);
// Pastes the text and the uploaded images into the box: "ok", "no message box"
// or "could not type into the message box".
QString insert(const QString& text);
// Presses send once the page is ready: "sent", "wait" or "message box disappeared".
QString send();
// "yes" while the box still shows the probe text.
QString stillHas(const QString& probe);

} // namespace JS

namespace Deliverer {

// Base64 text travels in pieces of this many characters, one program each.
constexpr qsizetype imagePieceSize = 400'000;

// Returns when the message was sent; throws DeliveryError or the runner's own failure otherwise.
QCoro::Task<void> run(Delivery delivery, BrowserDriver driver, AutomationBackend& automation);

// The start of the message the confirmation looks for: its first 24 characters
// (whole characters, never half of one).
QString probeText(const QString& text);

} // namespace Deliverer
