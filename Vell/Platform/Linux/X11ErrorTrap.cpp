#include "X11ErrorTrap.h"

namespace {
X11ErrorTrap* innermost = nullptr;
XErrorHandler installedBefore = nullptr;
} // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), outer_(innermost)
{
    // Errors of requests made before the trap belong to whoever made them.
    XSync(display_, False);
    previous_ = XSetErrorHandler(&X11ErrorTrap::handle);
    if (!outer_) installedBefore = previous_;
    innermost = this;
}

X11ErrorTrap::~X11ErrorTrap()
{
    XSync(display_, False);
    innermost = outer_;
    XSetErrorHandler(previous_);
}

bool X11ErrorTrap::failedSinceLastCheck()
{
    XSync(display_, False);
    const bool failed = errors_ > 0;
    errors_ = 0;
    return failed;
}

int X11ErrorTrap::handle(Display* display, XErrorEvent* event)
{
    for (X11ErrorTrap* trap = innermost; trap; trap = trap->outer_) {
        if (trap->display_ != display) continue;
        ++trap->errors_;
        trap->lastError_ = event->error_code;
        return 0;
    }
    return installedBefore ? installedBefore(display, event) : 0;
}
