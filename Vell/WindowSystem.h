// What screen capture needs to know about the desktop: who is in front, which
// windows are on screen, where the focused window is, and the pixels of one
// window. One implementation per windowing system; tests use a fake.
#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

#include <optional>

// The application the user is working in.
struct FrontApp {
    // Process id. Where the system cannot tell one, any value unique to the
    // application serves, as long as its windows carry the same value.
    qint64 pid = 0;
    // The name shown to the user; may be empty.
    QString name;
    // A stable identifier of the application (on X11 the WM_CLASS class).
    QString bundleID;
    // A second identifier where the system has one (the WM_CLASS instance); may be empty.
    QString instanceName;
};

// One on-screen window as the system describes it. Every entry may be
// missing; the capture logic decides what a missing entry means.
struct WindowInfo {
    std::optional<qint64> ownerPid;
    // 0 for ordinary application windows; anything else is a panel, dock, menu, desktop...
    std::optional<int> layer;
    std::optional<double> alpha;
    std::optional<quint32> number;
    // Global coordinates, origin top left, including the window's frame.
    std::optional<QRectF> bounds;
    std::optional<QString> name;
};

// The outcome of grabbing one window's pixels.
struct WindowGrab {
    enum class Kind { ok, missing, failed };
    Kind kind = Kind::missing;
    QImage image;  // ok: the window's own content, full resolution
    QString error; // failed: why, for the log

    static WindowGrab ok(const QImage& image) { return {Kind::ok, image, {}}; }
    static WindowGrab missing() { return {Kind::missing, {}, {}}; }
    static WindowGrab failed(const QString& error) { return {Kind::failed, {}, error}; }
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // None when nothing has the focus.
    virtual std::optional<FrontApp> frontmostApp() const = 0;
    // On-screen windows, front to back.
    virtual QList<WindowInfo> onScreenWindows() const = 0;
    // Where the application's focused window is, in the same coordinates as
    // WindowInfo::bounds; none when that cannot be found out.
    virtual std::optional<QRectF> focusedFrame(const FrontApp& app) const = 0;
    // Each screen's frame.
    virtual QList<QRectF> screens() const = 0;
    // The window's own pixels: no desktop, no shadow, no cursor. `missing`
    // when the window is gone or cannot be captured at all.
    virtual WindowGrab grab(quint32 window) = 0;
    // Whether the system lets this process capture the screen.
    virtual bool captureAllowed() const = 0;
};
