// Plain X11 windows a test creates on its own connection, with the class,
// process id, title and colours it chooses: the left half of each window is
// one colour, the right half another, both painted by the server itself so
// no event handling is needed. Every window is destroyed with the object.
#pragma once

#include <QColor>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>

class X11TestWindows {
public:
    struct Blueprint {
        QSize size{400, 300};
        QPoint position{40, 40};
        QString title;          // _NET_WM_NAME (UTF-8)
        QByteArray latin1Title; // WM_NAME only, when title is empty
        QByteArray instance = "notes";
        QByteArray windowClass = "Notes";
        std::optional<qint64> pid; // _NET_WM_PID; none leaves it to the server
        QColor left = Qt::red;
        QColor right = Qt::blue;
        QByteArray type;               // e.g. "_NET_WM_WINDOW_TYPE_DOCK"
        bool overrideRedirect = false; // unmanaged, drawn above everything, like the HUD
    };

    explicit X11TestWindows(const QString& display);
    ~X11TestWindows();
    X11TestWindows(const X11TestWindows&) = delete;
    X11TestWindows& operator=(const X11TestWindows&) = delete;

    bool isOpen() const { return display_ != nullptr; }

    // Maps a window and waits until it is on screen (and, when managed, until
    // the window manager lists it). 0 on failure.
    quint32 create(const Blueprint& blueprint);
    // Asks the window manager to activate the window and waits until it is active.
    bool activate(quint32 window);

private:
    bool waitFor(const std::function<bool()>& condition, int ms = 5000) const;
    std::optional<unsigned long> rootWindowProperty(const char* name) const;
    bool isListed(quint32 window) const;

    struct _XDisplay* display_ = nullptr;
    QList<quint32> windows_;
};
