#include "ScriptFailure.h"

#include <array>

namespace ScriptFailure {

DeliveryError classify(const QString& errorText, Browser browser)
{
    struct Row {
        const char* substring;
        DeliveryError::Kind kind;
    };
    static constexpr std::array rows{
        Row{"Allow JavaScript from Apple Events", DeliveryError::Kind::jsOff},
        Row{"JavaScript through AppleScript is turned off", DeliveryError::Kind::jsOff},
        Row{"remote debugging is turned off", DeliveryError::Kind::jsOff},
        Row{"-1743", DeliveryError::Kind::automationDenied},
        Row{"Not authorized", DeliveryError::Kind::automationDenied},
        Row{"refused the remote debugging connection", DeliveryError::Kind::automationDenied},
        Row{"no browser with remote debugging is reachable", DeliveryError::Kind::automationDenied},
        Row{"-1712", DeliveryError::Kind::timedOut},
    };
    for (const Row& row : rows) {
        if (!errorText.contains(QLatin1String(row.substring))) continue;
        switch (row.kind) {
        case DeliveryError::Kind::jsOff:
            return DeliveryError::jsOff(browser);
        case DeliveryError::Kind::automationDenied:
            return DeliveryError::automationDenied(browser);
        default:
            return DeliveryError::timedOut(browser);
        }
    }
    return DeliveryError::page(errorText.right(120));
}

} // namespace ScriptFailure
