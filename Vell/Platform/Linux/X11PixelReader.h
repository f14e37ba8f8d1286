// Reads a rectangle of an X drawable (a window, the root, a window pixmap)
// into a QImage: through shared memory when the server offers MIT-SHM on
// this machine, else with a plain GetImage.
#pragma once

#include <QImage>
#include <QRect>

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <memory>

class X11PixelReader {
public:
    // `sharedMemory` false always uses GetImage.
    explicit X11PixelReader(Display* display, bool sharedMemory = true);
    ~X11PixelReader();
    X11PixelReader(const X11PixelReader&) = delete;
    X11PixelReader& operator=(const X11PixelReader&) = delete;

    // `visual` and `depth` describe the drawable. A null image when the
    // rectangle is not wholly inside the drawable or the drawable is gone.
    QImage read(Drawable drawable, Visual* visual, int depth, const QRect& area);

private:
    QImage readShared(Drawable drawable, Visual* visual, int depth, const QRect& area);
    QImage readPlain(Drawable drawable, Visual* visual, int depth, const QRect& area);
    // A shared segment of at least `size` bytes, attached to the server.
    bool ensureSegment(size_t size);
    void releaseSegment();

    Display* display_;
    bool shm_ = false;
    std::unique_ptr<XShmSegmentInfo> segment_;
    size_t segmentSize_ = 0;
};

// The pixels of an XImage as opaque RGB32. Depth-32 windows carry
// premultiplied alpha and come out as if drawn over black.
QImage imageFromXImage(const XImage& image, int depth);
