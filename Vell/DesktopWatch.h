// What the HUD panel needs to know about the desktop it floats on.
#pragma once

#include <functional>

class DesktopWatch {
public:
    virtual ~DesktopWatch() = default;
    // Called on the main thread when the user switches to another virtual desktop.
    std::function<void()> onDesktopChange;
    // Whether a compositor blends windows, so translucent pixels show what is behind.
    virtual bool compositorRunning() const = 0;
};
