// Catches the X errors of one connection for the life of a scope, so a
// window that disappears between two requests costs a failed request instead
// of Xlib's default handler ending the process. Errors of other connections
// go on to the handler that was installed before. Main thread only.
#pragma once

#include <X11/Xlib.h>

class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server to answer everything sent so far and tells whether
    // any request failed since the last call (or since the trap was set).
    bool failedSinceLastCheck();
    // The error code of the last failure; 0 when none.
    int lastError() const { return lastError_; }

private:
    static int handle(Display* display, XErrorEvent* event);

    Display* display_;
    X11ErrorTrap* outer_;
    XErrorHandler previous_;
    int errors_ = 0;
    int lastError_ = 0;
};
