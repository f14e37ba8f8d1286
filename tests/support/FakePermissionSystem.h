// Permissions for tests: statuses the test sets, and a record of every
// prompt and settings page the code asked for.
#pragma once

#include "Permissions.h"

#include <QList>
#include <QStringList>

class FakePermissionSystem final : public PermissionSystem {
public:
    AccessStatus microphoneStatus() const override { return microphone; }
    void requestMicrophone() override { calls << QStringLiteral("requestMicrophone"); }
    bool screenCaptureAllowed() const override { return screen; }
    bool requestScreenCapture() override
    {
        calls << QStringLiteral("requestScreenCapture");
        screen = screen || screenAllowedAfterPrompt;
        return screen;
    }
    bool accessibilityTrusted() const override { return accessibility; }
    void promptAccessibility() override { calls << QStringLiteral("promptAccessibility"); }
    void openSettings(Permission permission) override
    {
        calls << QStringLiteral("openSettings(%1)").arg(Permissions::title(permission));
    }

    void grantAll()
    {
        microphone = AccessStatus::authorized;
        screen = true;
        accessibility = true;
    }

    AccessStatus microphone = AccessStatus::notDetermined;
    bool screen = false;
    bool screenAllowedAfterPrompt = false;
    bool accessibility = false;
    QStringList calls;
};
