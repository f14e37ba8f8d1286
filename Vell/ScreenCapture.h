// One picture of the window the user is looking at: the focused window of the
// frontmost application, never a password manager's, bounded in size and
// encoded as JPEG.
#pragma once

#include "ControllerPorts.h"
#include "Shutter.h"
#include "WindowSystem.h"

#include <QRectF>
#include <QString>

#include <optional>

class ScreenCapture final : public WindowCapture {
public:
    // Which application and window a capture would take.
    struct Source {
        QString app;
        QString title;
        std::optional<quint32> windowID; // none when no usable window was found
    };

    // A candidate must be taller than this, in points.
    static constexpr double minimumHeight = 80;
    // A window may exceed a screen by this much in each direction and still fit.
    static constexpr double screenSlack = 4;
    // The focused frame matches a window when every edge is off by less than this.
    static constexpr double focusTolerance = 6;

    ScreenCapture(WindowSystem& system, Shutter& shutter);

    // None when nothing is in front or the application in front is excluded.
    std::optional<Source> frontSource() const;

    // WindowCapture
    QCoro::Task<std::optional<Item>> frontWindow() override;
    bool screenCaptureAllowed() const override;
    void click() override;

    // Password managers are never photographed.
    static bool isExcluded(const FrontApp& app);

private:
    struct Choice {
        Source source;
        QRectF frame; // of the chosen window; empty without one
    };
    std::optional<Choice> choose() const;

    WindowSystem& system_;
    Shutter& shutter_;
};
