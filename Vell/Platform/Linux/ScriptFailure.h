// Turning the text of a failed program run into the delivery error the user sees.
#pragma once

#include "SessionModel.h"

#include <QString>

namespace ScriptFailure {

// The first row that matches, in this order:
//   "Allow JavaScript from Apple Events", "JavaScript through AppleScript is
//   turned off", "remote debugging is turned off"             -> jsOff
//   "-1743", "Not authorized", "refused the remote debugging
//   connection", "no browser with remote debugging is reachable" -> automationDenied
//   "-1712"                                                    -> timedOut
//   anything else -> page with the last 120 characters of the text.
DeliveryError classify(const QString& errorText, Browser browser);

} // namespace ScriptFailure
