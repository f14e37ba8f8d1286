// Whether Vell may use a device or service, numbered as the log shows it.
#pragma once

enum class AccessStatus : int { notDetermined = 0, restricted = 1, denied = 2, authorized = 3 };
