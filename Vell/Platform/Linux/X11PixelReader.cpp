#include "X11PixelReader.h"

#include "X11ErrorTrap.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <cstring>

namespace {

// Scales a masked channel to 8 bits.
int channel(unsigned long pixel, unsigned long mask)
{
    if (!mask) return 0;
    const int shift = std::countr_zero(mask);
    const unsigned long max = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

// Reading a pixmap, which has no visual, leaves the channel masks empty:
// take them from the window the pixmap belongs to.
void adoptMasks(XImage& image, const Visual* visual)
{
    if (!visual || image.red_mask || image.green_mask || image.blue_mask) return;
    image.red_mask = visual->red_mask;
    image.green_mask = visual->green_mask;
    image.blue_mask = visual->blue_mask;
}

} // namespace

QImage imageFromXImage(const XImage& image, int depth)
{
    const int w = image.width;
    const int h = image.height;
    const bool native32 = image.bits_per_pixel == 32 && image.red_mask == 0xff0000 &&
                          image.green_mask == 0xff00 && image.blue_mask == 0xff &&
                          (image.byte_order == LSBFirst) == (std::endian::native == std::endian::little);
    if (native32 && depth == 32) {
        const QImage view(reinterpret_cast<const uchar*>(image.data), w, h, image.bytes_per_line,
                          QImage::Format_ARGB32_Premultiplied);
        return view.convertToFormat(QImage::Format_RGB32);
    }
    QImage out(w, h, QImage::Format_RGB32);
    if (out.isNull()) return out;
    if (native32) {
        // The padding byte of a depth-24 pixel is undefined; RGB32 wants it 0xff.
        for (int y = 0; y < h; ++y) {
            const auto* src =
                reinterpret_cast<const quint32*>(image.data + qsizetype(y) * image.bytes_per_line);
            auto* dst = reinterpret_cast<quint32*>(out.scanLine(y));
            for (int x = 0; x < w; ++x)
                dst[x] = src[x] | 0xff000000u;
        }
        return out;
    }
    // Unusual visuals (16-bit, other channel orders): slow but correct.
    auto* xi = const_cast<XImage*>(&image);
    for (int y = 0; y < h; ++y) {
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const unsigned long p = XGetPixel(xi, x, y);
            dst[x] =
                qRgb(channel(p, image.red_mask), channel(p, image.green_mask), channel(p, image.blue_mask));
        }
    }
    return out;
}

X11PixelReader::X11PixelReader(Display* display, bool sharedMemory) : display_(display)
{
    shm_ = sharedMemory && display_ && XShmQueryExtension(display_);
}

QImage X11PixelReader::read(Drawable drawable, Visual* visual, int depth, const QRect& area)
{
    if (area.isEmpty()) return {};
    if (shm_) {
        QImage image = readShared(drawable, visual, depth, area);
        if (!image.isNull()) return image;
    }
    return readPlain(drawable, visual, depth, area);
}

X11PixelReader::~X11PixelReader()
{
    releaseSegment();
}

void X11PixelReader::releaseSegment()
{
    if (!segment_) return;
    XShmDetach(display_, segment_.get());
    XSync(display_, False);
    shmdt(segment_->shmaddr);
    segment_.reset();
    segmentSize_ = 0;
}

bool X11PixelReader::ensureSegment(size_t size)
{
    if (segment_ && segmentSize_ >= size) return true;
    releaseSegment();
    auto segment = std::make_unique<XShmSegmentInfo>();
    segment->shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (segment->shmid < 0) return false;
    void* address = shmat(segment->shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(segment->shmid, IPC_RMID, nullptr);
        return false;
    }
    segment->shmaddr = static_cast<char*>(address);
    segment->readOnly = False;
    X11ErrorTrap trap(display_);
    const bool attached = XShmAttach(display_, segment.get()) && !trap.failedSinceLastCheck();
    // Marked for removal at once: the segment goes away with its last user, even if we crash.
    shmctl(segment->shmid, IPC_RMID, nullptr);
    if (!attached) {
        shmdt(address);
        // A server on another machine cannot share our memory; plain GetImage works everywhere.
        shm_ = false;
        return false;
    }
    segment_ = std::move(segment);
    segmentSize_ = size;
    return true;
}

QImage X11PixelReader::readShared(Drawable drawable, Visual* visual, int depth, const QRect& area)
{
    XImage* image =
        XShmCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, nullptr,
                        static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()));
    if (!image) return {};
    QImage result;
    // The segment is kept between grabs: attaching a fresh one costs the
    // server more than the copy itself.
    if (ensureSegment(static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(image->height))) {
        image->data = segment_->shmaddr;
        image->obdata = reinterpret_cast<char*>(segment_.get());
        X11ErrorTrap trap(display_);
        if (XShmGetImage(display_, drawable, image, area.x(), area.y(), AllPlanes) &&
            !trap.failedSinceLastCheck()) {
            adoptMasks(*image, visual);
            result = imageFromXImage(*image, depth);
        }
    }
    image->data = nullptr; // shared memory, not Xlib's to free
    XDestroyImage(image);
    return result;
}

QImage X11PixelReader::readPlain(Drawable drawable, Visual* visual, int depth, const QRect& area)
{
    X11ErrorTrap trap(display_);
    XImage* image = XGetImage(display_, drawable, area.x(), area.y(), static_cast<unsigned>(area.width()),
                              static_cast<unsigned>(area.height()), AllPlanes, ZPixmap);
    if (!image || trap.failedSinceLastCheck()) {
        if (image) XDestroyImage(image);
        return {};
    }
    adoptMasks(*image, visual);
    QImage result = imageFromXImage(*image, depth);
    XDestroyImage(image);
    return result;
}
